#include "LazyLibrary.h"

LazyLibrary::LazyLibrary(const QString &fileName, const QString &version)
    : m_library(fileName, version)
{
}

QFunctionPointer LazyLibrary::resolve(const char *symbol)
{
    const QFunctionPointer function = m_library.resolve(symbol);
    m_complete = m_complete && function;
    return function;
}

bool LazyLibrary::complete(const char *what) const
{
    if (!m_complete) {
        qWarning("%s cannot be read: %s", what, qPrintable(m_library.errorString()));
    }
    return m_complete;
}
