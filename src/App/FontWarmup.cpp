#include "FontWarmup.h"

#include <QFile>

#include <fcntl.h>
#include <fontconfig/fontconfig.h>
#include <unistd.h>

#include <memory>

namespace FontWarmup {

namespace {
// More than any font file of a desktop's interface; what lies past it is read when needed.
constexpr size_t maximumFontBytes = size_t(32) * 1024 * 1024;
} // namespace

QStringList interfaceFontFiles()
{
    QStringList files;
    // fontconfig's own defaults, as Qt asks for them when no desktop names a font.
    for (const char *name : {"sans-serif", "sans-serif:bold", "monospace"}) {
        const std::unique_ptr<FcPattern, decltype(&FcPatternDestroy)> pattern(
            FcNameParse(reinterpret_cast<const FcChar8 *>(name)), &FcPatternDestroy);
        if (!pattern || !FcConfigSubstitute(nullptr, pattern.get(), FcMatchPattern)) {
            continue;
        }
        FcDefaultSubstitute(pattern.get());
        FcResult result = FcResultNoMatch;
        const std::unique_ptr<FcPattern, decltype(&FcPatternDestroy)> match(
            FcFontMatch(nullptr, pattern.get(), &result), &FcPatternDestroy);
        FcChar8 *file = nullptr;
        if (!match || FcPatternGetString(match.get(), FC_FILE, 0, &file) != FcResultMatch) {
            continue;
        }
        const QString path = QFile::decodeName(reinterpret_cast<const char *>(file));
        if (!files.contains(path) && QFile::exists(path)) {
            files.append(path);
        }
    }
    return files;
}

std::jthread start()
{
    return std::jthread([] {
        for (const QString &path : interfaceFontFiles()) {
            const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC);
            if (fd >= 0) {
                // Into the page cache, where the window's thread finds the glyphs when it draws.
                (void)::readahead(fd, 0, maximumFontBytes);
                ::close(fd);
            }
        }
    });
}

} // namespace FontWarmup
