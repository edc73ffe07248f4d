#include "Companions.h"

#include <QHash>

#include <algorithm>
#include <array>

namespace {

// The one list of sidecar extensions. json counts only in the whole-name form
// (IMG_0005.JPG.json): a stem-named .json is any program's data, not a photo's.
constexpr std::array sidecarExtensions{"xmp", "pp3", "dop", "aae", "thm", "json"};

qsizetype extensionDot(const QString &name)
{
    const qsizetype dot = name.lastIndexOf(QLatin1Char('.'));
    return dot > 0 ? dot : -1;
}

QString stemOf(const QString &name)
{
    const qsizetype dot = extensionDot(name);
    return dot < 0 ? name : name.left(dot);
}

QString extensionOf(const QString &name)
{
    const qsizetype dot = extensionDot(name);
    return dot < 0 ? QString() : name.mid(dot + 1).toLower();
}

// Compared without building a lowercased copy: the scanner asks this of every file. Only ASCII
// letters fold, which is all the lowercasing the known extensions allow for.
bool isSidecarExtension(QStringView extension)
{
    return std::any_of(sidecarExtensions.cbegin(), sidecarExtensions.cend(),
                       [extension](const char *known) {
                           const QLatin1String expected(known);
                           if (extension.size() != expected.size()) {
                               return false;
                           }
                           for (qsizetype i = 0; i < extension.size(); ++i) {
                               char16_t c = extension[i].unicode();
                               if (c >= u'A' && c <= u'Z') {
                                   c = char16_t(c + (u'a' - u'A'));
                               }
                               if (c != char16_t(expected[i].unicode())) {
                                   return false;
                               }
                           }
                           return true;
                       });
}

// Where " n" goes in a member's name: after the shot's stem, which is either the name up to
// its last dot (images, IMG_0005.xmp) or up to the dot before (IMG_0005.CR3.xmp).
qsizetype stemEnd(const QString &name, const QString &shotStemKey)
{
    const qsizetype last = extensionDot(name);
    if (last < 0) {
        return name.size();
    }
    if (Companions::nameKey(name.left(last)) != shotStemKey) {
        const qsizetype before = name.lastIndexOf(QLatin1Char('.'), last - 1);
        if (before > 0 && Companions::nameKey(name.left(before)) == shotStemKey) {
            return before;
        }
    }
    return last;
}

QString kindLabel(const QString &name, ImageKind kind)
{
    if (kind == ImageKind::raw) {
        return QStringLiteral("RAW");
    }
    const QString extension = extensionOf(name).toUpper();
    return extension == QLatin1String("JPEG") ? QStringLiteral("JPG") : extension;
}

} // namespace

size_t Companions::nameHash(const QString &name)
{
    // nameKey lowercases ASCII names; most camera names are, and hashing them from a buffer on
    // the stack spares an allocation per name. Any fixed seed but 0: Qt hashes with a seed
    // through the processor's AES instructions where it has them, else through SipHash.
    constexpr size_t seed = 0x9e3779b97f4a7c15;
    constexpr qsizetype bufferSize = 128;
    if (name.size() <= bufferSize) {
        char16_t folded[bufferSize];
        bool ascii = true;
        for (qsizetype i = 0; i < name.size() && ascii; ++i) {
            const char16_t c = name[i].unicode();
            ascii = c < 0x80;
            folded[i] = c >= u'A' && c <= u'Z' ? char16_t(c | 0x20) : c;
        }
        if (ascii) {
            return qHash(QStringView(folded, name.size()), seed);
        }
    }
    return qHash(Companions::nameKey(name), seed);
}

QString Companions::nameKey(const QString &name)
{
    // Most names are ASCII, where normalization changes nothing and case folding is
    // lowercasing; the general path costs several times as much, and a scan asks for two keys
    // per image.
    const QChar *text = name.constData();
    const qsizetype size = name.size();
    const auto isUpper = [](char16_t c) { return c >= u'A' && c <= u'Z'; };
    bool hasUpper = false;
    for (qsizetype i = 0; i < size; ++i) {
        if (text[i].unicode() >= 0x80) {
            return name.normalized(QString::NormalizationForm_C).toCaseFolded();
        }
        hasUpper = hasUpper || isUpper(text[i].unicode());
    }
    if (!hasUpper) {
        return name;
    }
    QString key(size, Qt::Uninitialized);
    QChar *out = key.data();
    for (qsizetype i = 0; i < size; ++i) {
        const char16_t c = text[i].unicode();
        out[i] = QChar(isUpper(c) ? char16_t(c + (u'a' - u'A')) : c);
    }
    return key;
}

bool Companions::isSidecarName(const QString &name)
{
    const qsizetype dot = extensionDot(name);
    return dot >= 0 && isSidecarExtension(QStringView(name).mid(dot + 1));
}

QList<QList<qsizetype>> Companions::group(const QList<ListedFile> &files, CompanionRule rule)
{
    QList<QList<qsizetype>> shots;
    QHash<QString, qsizetype> shotByStem;     // together: stem key → shot
    QHash<QString, qsizetype> imagesByStem;   // apart: how many images have the stem
    QHash<QString, qsizetype> lastShotByStem; // apart: the shot of such an image
    (rule == CompanionRule::together ? shotByStem : lastShotByStem).reserve(files.size());
    QList<qsizetype> shotOf(files.size(), -1); // each image's shot
    QList<qsizetype> sidecars;
    for (qsizetype i = 0; i < files.size(); ++i) {
        const ListedFile &file = files[i];
        if (file.kind == ImageKind::none) {
            if (isSidecarName(file.name)) {
                sidecars.append(i);
            }
            continue;
        }
        const QString stemKey = nameKey(stemOf(file.name));
        qsizetype shot = -1;
        if (rule == CompanionRule::together) {
            shot = shotByStem.value(stemKey, -1);
        }
        if (shot < 0) {
            shot = shots.size();
            shots.append(QList<qsizetype>());
            if (rule == CompanionRule::together) {
                shotByStem.insert(stemKey, shot);
            } else {
                ++imagesByStem[stemKey];
                lastShotByStem.insert(stemKey, shot);
            }
        }
        shots[shot].append(i);
        shotOf[i] = shot;
    }
    if (shots.isEmpty()) {
        return shots;
    }
    const auto precedes = [&files](qsizetype a, qsizetype b) {
        const ListedFile &x = files[a];
        const ListedFile &y = files[b];
        if (x.kind != y.kind) {
            return x.kind < y.kind;
        }
        return x.name < y.name;
    };
    for (QList<qsizetype> &shot : shots) {
        if (shot.size() > 1) {
            std::stable_sort(shot.begin(), shot.end(), precedes);
        }
    }
    // Image's whole-name key → shot, filled in listing order as the images were met. Only
    // sidecars look names up, and a folder without any needs no whole-name keys.
    QHash<QString, qsizetype> shotByName;
    if (!sidecars.isEmpty()) {
        shotByName.reserve(files.size());
        for (qsizetype i = 0; i < files.size(); ++i) {
            if (shotOf[i] >= 0) {
                shotByName.insert(nameKey(files[i].name), shotOf[i]);
            }
        }
    }
    const qsizetype imageShots = shots.size();
    QList<QList<qsizetype>> sidecarsOf(imageShots);
    for (const qsizetype i : std::as_const(sidecars)) {
        const QString &name = files[i].name;
        const QString extended = stemOf(name); // what the sidecar's name extends
        const QString key = nameKey(extended);
        qsizetype shot = shotByName.value(key, -1);
        if (shot < 0 && extensionOf(name) != QLatin1String("json")) {
            if (rule == CompanionRule::together) {
                shot = shotByStem.value(key, -1);
            } else if (imagesByStem.value(key) == 1) {
                shot = lastShotByStem.value(key);
            }
        }
        if (shot >= 0) {
            sidecarsOf[shot].append(i);
        }
    }
    for (qsizetype shot = 0; shot < imageShots; ++shot) {
        QList<qsizetype> &own = sidecarsOf[shot];
        if (own.isEmpty()) {
            continue; // begin() would allocate an empty list
        }
        std::sort(own.begin(), own.end(),
                  [&files](qsizetype a, qsizetype b) { return files[a].name < files[b].name; });
        shots[shot].append(own);
    }
    std::sort(shots.begin(), shots.end(),
              [](const QList<qsizetype> &a, const QList<qsizetype> &b) { return a[0] < b[0]; });
    return shots;
}

Companions::SidecarOwners::Sidecar Companions::SidecarOwners::sidecar(const QString &name)
{
    return {nameHash(stemOf(name)), extensionOf(name) == QLatin1String("json")};
}

Companions::SidecarOwners::SidecarOwners(CompanionRule rule)
    : m_rule(rule)
{
}

void Companions::SidecarOwners::addImage(const QString &name)
{
    m_names.push_back(nameHash(name));
    m_stems.push_back(nameHash(stemOf(name)));
    m_sorted = false;
}

bool Companions::SidecarOwners::hasOwner(Sidecar sidecar)
{
    if (!m_sorted) {
        std::sort(m_names.begin(), m_names.end());
        std::sort(m_stems.begin(), m_stems.end());
        m_sorted = true;
    }
    // The same order of questions as group(): an image the sidecar's whole name extends,
    // then (never for json) the images of its stem.
    if (std::binary_search(m_names.cbegin(), m_names.cend(), sidecar.extendedHash)) {
        return true;
    }
    if (sidecar.json) {
        return false;
    }
    const auto [from, to] = std::equal_range(m_stems.cbegin(), m_stems.cend(), sidecar.extendedHash);
    return m_rule == CompanionRule::together ? from != to : to - from == 1;
}

QStringList Companions::pairedNames(const QStringList &names, int number)
{
    if (number <= 1 || names.isEmpty()) {
        return names;
    }
    // The shot's stem is the shortest member stem: every other member's stem extends it.
    QString shotStemKey;
    for (const QString &name : names) {
        const QString key = nameKey(stemOf(name));
        if (shotStemKey.isEmpty() || key.size() < shotStemKey.size()) {
            shotStemKey = key;
        }
    }
    const QString suffix = QLatin1Char(' ') + QString::number(number);
    QStringList result;
    result.reserve(names.size());
    for (const QString &name : names) {
        const qsizetype end = stemEnd(name, shotStemKey);
        // A name ending in a bare dot loses it, as numbering always did ("a." → "a 2").
        const bool bareDot = end == name.size() - 1 && name.endsWith(QLatin1Char('.'));
        result.append(name.left(end) + suffix + (bareDot ? QString() : name.mid(end)));
    }
    return result;
}

QString Companions::badge(const QStringList &names, const QList<ImageKind> &kinds)
{
    if (names.size() < 2) {
        return {};
    }
    QStringList images;
    QStringList raws;
    QStringList extras;
    bool live = false;
    const bool stillShown = kinds.value(0, ImageKind::none) != ImageKind::video;
    for (qsizetype i = 0; i < names.size(); ++i) {
        const ImageKind kind = kinds.value(i, ImageKind::none);
        if (kind == ImageKind::video && stillShown) {
            live = true; // a still with its video: a Live Photo
            continue;
        }
        if (kind == ImageKind::none) {
            const QString label = QLatin1Char('+') + extensionOf(names[i]).toUpper();
            if (!extras.contains(label)) {
                extras.append(label);
            }
            continue;
        }
        (kind == ImageKind::raw ? raws : images).append(kindLabel(names[i], kind));
    }
    raws.append(images);
    // A lone image shows no label of its own: "+XMP" says enough.
    QString imagePart = raws.size() > 1 ? raws.join(QLatin1Char('+')) : QString();
    if (live) {
        imagePart += imagePart.isEmpty() ? QStringLiteral("LIVE") : QStringLiteral("+LIVE");
    }
    return imagePart + extras.join(QString());
}
