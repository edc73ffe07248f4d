#pragma once

// With CALVENOR_FUZZ_CORPUS set (`./test.sh --fuzz` sets it), the parsers' tests leave every input
// they build in a folder per parser there: the fuzzers start from real structures, damaged ones
// included, rather than from random bytes.

#include <QByteArray>
#include <QCryptographicHash>
#include <QDir>
#include <QFile>

namespace FuzzCorpus {

inline void add(const char *parser, const QByteArray &input)
{
    const QString root = qEnvironmentVariable("CALVENOR_FUZZ_CORPUS");
    if (root.isEmpty() || input.isEmpty()) {
        return;
    }
    const QString folder = root + QLatin1Char('/') + QLatin1StringView(parser);
    QDir().mkpath(folder);
    QFile file(
        folder + QLatin1Char('/') +
        QString::fromLatin1(QCryptographicHash::hash(input, QCryptographicHash::Sha1).toHex()));
    if (file.open(QIODevice::WriteOnly)) {
        file.write(input);
    }
}

} // namespace FuzzCorpus
