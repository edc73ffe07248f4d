#include "SimilarityCache.h"

#include <QCryptographicHash>
#include <QDataStream>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

namespace {

constexpr quint32 magic = 0x43505346; // "CPSF"
constexpr quint32 version = 1;
// Far more photos than any folder holds; a damaged count must not reserve gigabytes.
constexpr quint32 maximumEntries = 10'000'000;
constexpr int streamVersion = QDataStream::Qt_6_0;

} // namespace

QString SimilarityCache::fileFor(const QString &folder, const QString &rootPath)
{
    const QByteArray name =
        QCryptographicHash::hash(rootPath.toUtf8(), QCryptographicHash::Sha1).toHex();
    return QDir(folder).filePath(QString::fromLatin1(name) + QStringLiteral(".facts"));
}

SimilarityEntries SimilarityCache::load(const QString &file)
{
    QFile input(file);
    if (!input.open(QIODevice::ReadOnly)) {
        return {};
    }
    QDataStream stream(&input);
    stream.setVersion(streamVersion);
    quint32 readMagic = 0;
    quint32 readVersion = 0;
    quint32 count = 0;
    stream >> readMagic >> readVersion >> count;
    if (stream.status() != QDataStream::Ok || readMagic != magic || readVersion != version ||
        count > maximumEntries) {
        return {};
    }
    SimilarityEntries entries;
    entries.reserve(std::min<quint32>(count, 100'000));
    for (quint32 i = 0; i < count; ++i) {
        DimensionCacheKey key;
        quint8 hasFacts = 0;
        SimilarityFacts facts;
        SimilarityEntry entry;
        stream >> key.photoID >> key.modificationDate.seconds >> key.modificationDate.nanoseconds >>
            key.byteCount >> hasFacts >> facts.hash >> facts.sharpness >> facts.camera >>
            entry.digest;
        if (stream.status() != QDataStream::Ok) {
            return {};
        }
        if (hasFacts != 0) {
            entry.facts = facts;
        }
        entries.insert(key, entry);
    }
    return entries;
}

bool SimilarityCache::save(const QString &file, const SimilarityEntries &entries)
{
    if (!QDir().mkpath(QFileInfo(file).absolutePath())) {
        return false;
    }
    QSaveFile output(file);
    if (!output.open(QIODevice::WriteOnly)) {
        return false;
    }
    QDataStream stream(&output);
    stream.setVersion(streamVersion);
    stream << magic << version << quint32(entries.size());
    for (auto it = entries.constBegin(); it != entries.constEnd(); ++it) {
        const SimilarityFacts facts = it->facts.value_or(SimilarityFacts{});
        stream << it.key().photoID << it.key().modificationDate.seconds
               << it.key().modificationDate.nanoseconds << it.key().byteCount
               << quint8(it->facts.has_value()) << facts.hash << facts.sharpness << facts.camera
               << it->digest;
    }
    return stream.status() == QDataStream::Ok && output.commit();
}
