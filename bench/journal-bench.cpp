// What the undo journal costs on disk: N filings of one photo each between two folders, with
// and without the journal (each planned move written and synced before it is made), and the
// journal's size afterwards. The folders and the journal live under FOLDER, so put it on the
// disk you care about (not a tmpfs). With --state the journal lives in STATE instead, as it does
// for a folder on a share (the user's state folder is on the home disk).
//   calvenor-journal-bench FOLDER [--filings N] [--state STATE]

#include "Services/FileOperations.h"
#include "Services/Platform/LinuxFileSystem.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <cstdio>

namespace {

// Files `count` photos one at a time from a/ to b/, as many batches; milliseconds per filing.
double fileOneByOne(FileOperations &operations, const QString &base, int count,
                    bool journaled = false)
{
    const QString from = base + QStringLiteral("/a");
    const QString to = base + QStringLiteral("/b");
    QDir().mkpath(from);
    QDir().mkpath(to);
    for (int i = 0; i < count; ++i) {
        QFile file(from + QStringLiteral("/IMG_%1.jpg").arg(i));
        if (!file.open(QIODevice::WriteOnly)) {
            return -1;
        }
        file.write("photo");
    }
    QElapsedTimer timer;
    timer.start();
    for (int i = 0; i < count; ++i) {
        const QUrl photo = QUrl::fromLocalFile(from + QStringLiteral("/IMG_%1.jpg").arg(i));
        const auto file = [&] { return operations.moveShots({{photo}}, QUrl::fromLocalFile(to)); };
        if (!(journaled ? operations.recorded({OperationJournal::Role::action,
                                               QStringLiteral("Move Photo")},
                                              file)
                        : file())) {
            return -1;
        }
    }
    return double(timer.nsecsElapsed()) / 1e6 / count;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() < 2) {
        std::fprintf(stderr, "usage: %s FOLDER [--filings N] [--state STATE]\n", argv[0]);
        return 2;
    }
    const int filings = args.contains(QStringLiteral("--filings"))
                            ? args.value(args.indexOf(QStringLiteral("--filings")) + 1).toInt()
                            : 10000;
    QTemporaryDir work(args[1] + QStringLiteral("/journal-bench-XXXXXX"));
    const qsizetype stateAt = args.indexOf(QStringLiteral("--state"));
    QTemporaryDir state((stateAt > 0 ? args.value(stateAt + 1) : work.path())
                        + QStringLiteral("/state-XXXXXX"));
    auto fs = std::make_shared<LinuxFileSystem>();

    FileOperations plain(fs);
    const double plainMs = fileOneByOne(plain, work.path() + QStringLiteral("/plain"), filings);

    const QString root = work.path() + QStringLiteral("/journaled");
    QDir().mkpath(root);
    auto journal = OperationJournal::open(state.path(), root,
                                          fs->stat(root, true)->identity);
    if (!journal) {
        std::fprintf(stderr, "%s\n", qPrintable(journal.error().message));
        return 1;
    }
    FileOperations recorded(fs);
    recorded.setJournal(journal->get());
    const double journaledMs = fileOneByOne(recorded, root, filings, true);
    const qint64 bytes = QFileInfo((*journal)->path()).size();
    std::printf("filings=%d plain_ms_per_filing=%.3f journaled_ms_per_filing=%.3f "
                "added_ms=%.3f journal_kib=%.1f actions_kept=%lld\n",
                filings, plainMs, journaledMs, journaledMs - plainMs, double(bytes) / 1024.0,
                static_cast<long long>((*journal)->history().actions.size()));
    return plainMs < 0 || journaledMs < 0 ? 1 : 0;
}
