#pragma once

// The interface's font files read from the disk on a thread of their own while the window is
// made. On a cold start the window's first paint otherwise waits, on the window's thread, for
// fontconfig to read its configuration and caches and for the glyphs' pages of each font file;
// asked first here, the disk serves them while the window's widgets are built.

#include <QStringList>

#include <thread>

namespace FontWarmup {

// The files fontconfig picks for the interface's faces: the sans-serif text in its regular and
// bold weights, and the monospaced one of the key hints. Those that do not exist are left out.
QStringList interfaceFontFiles();

// Asks fontconfig for interfaceFontFiles() and has the kernel read them ahead; the returned
// thread is joined when it goes.
std::jthread start();

} // namespace FontWarmup
