#pragma once

// A C library loaded with the first photo that needs it rather than at every start: the
// decoders of the rarer formats link codecs of their own, and reading those from a cold disk
// delays the first screen of a folder that never shows such a photo. Once loaded it stays for
// the process's life, as decoding may go on until the process ends (a QLibrary does not
// unload what it loaded when it goes).

#include <QLibrary>

#include <memory>

class LazyLibrary
{
public:
    // `fileName` and `version` as QLibrary takes them: "heif" and "1" load libheif.so.1.
    LazyLibrary(const QString &fileName, const QString &version);

    // The function `symbol`, or null when it or the library is missing.
    QFunctionPointer resolve(const char *symbol);

    // A table of the library's functions, filled by `resolveAll(library, table)`; null when
    // the library or one of the functions is missing, which one warning says, naming `what`
    // cannot be read and why.
    template<typename Functions, typename ResolveAll>
    static const Functions *
    load(const QString &fileName, const QString &version, const char *what, ResolveAll resolveAll)
    {
        LazyLibrary library(fileName, version);
        auto functions = std::make_unique<Functions>();
        resolveAll(library, *functions);
        return library.complete(what) ? functions.release() : nullptr;
    }

private:
    bool complete(const char *what) const;

    QLibrary m_library;
    bool m_complete = true;
};

// Declares a table's member for the library's function `name`, typed as its declaration.
#define CALVENOR_LAZY_DECLARE(name) decltype(&::name) name = nullptr;

// Fills `table.name` with `library`'s function of that name, typed as its declaration.
#define CALVENOR_LAZY_RESOLVE(library, table, name)                                                \
    (table).name = reinterpret_cast<decltype(&::name)>((library).resolve(#name))
