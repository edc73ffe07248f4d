#include "OperationJournal.h"

#include "Platform/FileIdentity.h"

#include <QCoreApplication>
#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QStandardPaths>

#include <array>
#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

QByteArray checksum(const QByteArray &json)
{
    return QCryptographicHash::hash(json, QCryptographicHash::Sha256).toHex().left(16);
}

QJsonObject moveObject(const FileMove &move)
{
    QJsonObject object{{QStringLiteral("s"), move.source.toLocalFile()},
                       {QStringLiteral("d"), move.destination.toLocalFile()}};
    if (!move.itemIdentity.isEmpty()) {
        object.insert(QStringLiteral("i"), move.itemIdentity);
    }
    if (move.shot >= 0) {
        object.insert(QStringLiteral("k"), move.shot);
    }
    return object;
}

FileMove moveFrom(const QJsonObject &object)
{
    return {QUrl::fromLocalFile(object.value(QStringLiteral("s")).toString()),
            QUrl::fromLocalFile(object.value(QStringLiteral("d")).toString()),
            object.value(QStringLiteral("i")).toString(),
            object.value(QStringLiteral("k")).toInt(-1)};
}

QJsonArray movesArray(const QList<FileMove> &moves)
{
    QJsonArray array;
    for (const FileMove &move : moves) {
        array.append(moveObject(move));
    }
    return array;
}

QList<FileMove> movesFrom(const QJsonValue &value)
{
    QList<FileMove> moves;
    for (const QJsonValue &item : value.toArray()) {
        moves.append(moveFrom(item.toObject()));
    }
    return moves;
}

QString roleName(OperationJournal::Role role)
{
    switch (role) {
    case OperationJournal::Role::undo:
        return QStringLiteral("undo");
    case OperationJournal::Role::redo:
        return QStringLiteral("redo");
    case OperationJournal::Role::action:
        break;
    }
    return QStringLiteral("action");
}

OperationJournal::Role roleFrom(const QString &name)
{
    if (name == QLatin1String("undo")) {
        return OperationJournal::Role::undo;
    }
    return name == QLatin1String("redo") ? OperationJournal::Role::redo
                                         : OperationJournal::Role::action;
}

constexpr std::array<std::pair<OperationJournal::ActionKind, const char *>, 5> kindNames{{
    {OperationJournal::ActionKind::moves, "moves"},
    {OperationJournal::ActionKind::copy, "copy"},
    {OperationJournal::ActionKind::newCategory, "newCategory"},
    {OperationJournal::ActionKind::renameCategory, "renameCategory"},
    {OperationJournal::ActionKind::deleteCategory, "deleteCategory"},
}};

QString kindName(OperationJournal::ActionKind kind)
{
    for (const auto &[known, name] : kindNames) {
        if (known == kind) {
            return QString::fromLatin1(name);
        }
    }
    return {};
}

// A missing or unknown kind (a journal written before kinds existed) reads as moves.
OperationJournal::ActionKind kindFrom(const QJsonValue &value)
{
    const QString name = value.toString();
    for (const auto &[kind, known] : kindNames) {
        if (name == QLatin1String(known)) {
            return kind;
        }
    }
    return OperationJournal::ActionKind::moves;
}

QUrl folderFrom(const QJsonValue &value)
{
    const QString path = value.toString();
    return path.isEmpty() ? QUrl() : QUrl::fromLocalFile(path);
}

// How an action's record changes when its undo or redo is kept with `moves`.
void undone(OperationJournal::Action &action, const QList<FileMove> &moves)
{
    switch (action.kind) {
    case OperationJournal::ActionKind::copy:
        // The copies went to the trash: from now on a move out of it and back.
        action.kind = OperationJournal::ActionKind::moves;
        [[fallthrough]];
    case OperationJournal::ActionKind::moves:
    case OperationJournal::ActionKind::renameCategory:
        action.moves = FileMove::reversedEach(moves);
        break;
    case OperationJournal::ActionKind::newCategory:
    case OperationJournal::ActionKind::deleteCategory:
        break; // the folder, and the deletion to restore, stay as they were
    }
}

void redone(OperationJournal::Action &action, const QList<FileMove> &moves)
{
    switch (action.kind) {
    case OperationJournal::ActionKind::moves:
    case OperationJournal::ActionKind::renameCategory:
    case OperationJournal::ActionKind::deleteCategory: // the names the photos got this time
        action.moves = moves;
        break;
    case OperationJournal::ActionKind::copy:
    case OperationJournal::ActionKind::newCategory:
        break;
    }
}

QJsonObject actionObject(const OperationJournal::Action &action)
{
    QJsonObject object{{QStringLiteral("id"), action.id},
                       {QStringLiteral("name"), action.name},
                       {QStringLiteral("moves"), movesArray(action.moves)}};
    if (action.kind != OperationJournal::ActionKind::moves) {
        object.insert(QStringLiteral("kind"), kindName(action.kind));
    }
    if (!action.folder.isEmpty()) {
        object.insert(QStringLiteral("f"), action.folder.toLocalFile());
    }
    return object;
}

FileSystemError journalError(int errnum)
{
    return FileSystemError::system(errnum, QCoreApplication::translate("FileSystem", "Couldn\u2019t write the undo journal"));
}

// Writes all of `bytes`, then makes them durable.
int writeDurably(SystemCalls &calls, int fd, const QByteArray &bytes)
{
    if (const int error = calls.writeAll(fd, bytes.constData(), size_t(bytes.size()))) {
        return error;
    }
    return calls.fdatasync(fd) == 0 ? 0 : errno;
}

int syncFolder(SystemCalls &calls, const QString &folder)
{
    return calls.syncFolder(QFile::encodeName(folder).constData());
}

} // namespace

OperationJournal::OperationJournal(int fd, QString path, std::shared_ptr<SystemCalls> calls)
    : m_fd(fd)
    , m_calls(std::move(calls))
    , m_path(std::move(path))
{
}

OperationJournal::~OperationJournal()
{
    if (m_fd >= 0) {
        ::close(m_fd);
    }
    if (m_lockFd >= 0) {
        ::close(m_lockFd); // releases the lock
    }
}

QString OperationJournal::defaultStateFolder()
{
    QString state = qEnvironmentVariable("XDG_STATE_HOME");
    if (state.isEmpty() || !QDir::isAbsolutePath(state)) {
        state = QDir::homePath() + QStringLiteral("/.local/state");
    }
    return state + QStringLiteral("/calvenor-photo-sorter");
}

Result<std::unique_ptr<OperationJournal>> OperationJournal::open(const QString &stateFolder,
                                                                 const QString &rootPath,
                                                                 const QString &rootIdentity,
                                                                 qint64 compactAfter,
                                                                 std::shared_ptr<SystemCalls> calls)
{
    return open(stateFolder, JournalKey::of(Volume(), rootPath, rootIdentity), rootPath,
                rootIdentity, compactAfter, std::move(calls));
}

Result<std::unique_ptr<OperationJournal>> OperationJournal::open(const QString &stateFolder,
                                                                 const JournalKey &key,
                                                                 const QString &rootPath,
                                                                 const QString &rootIdentity,
                                                                 qint64 compactAfter,
                                                                 std::shared_ptr<SystemCalls> calls)
{
    if (!QDir().mkpath(stateFolder)) {
        return std::unexpected(journalError(EACCES));
    }
    ::chmod(QFile::encodeName(stateFolder).constData(), 0700);
    const auto baseOf = [&](const QString &name) {
        return stateFolder + QLatin1Char('/')
               + QString::fromLatin1(
                   QCryptographicHash::hash(name.toUtf8(), QCryptographicHash::Sha256)
                       .toHex()
                       .left(32));
    };
    QString base = baseOf(key.name);
    // A journal kept under the name journals had before goes on there: its history stays.
    if (!key.legacyName.isEmpty() && !QFile::exists(base + QStringLiteral(".journal"))
        && QFile::exists(baseOf(key.legacyName) + QStringLiteral(".journal"))) {
        base = baseOf(key.legacyName);
    }
    // The lock lives in its own file: compaction replaces the journal file, never the lock.
    const int lockFd = ::open(QFile::encodeName(base + QStringLiteral(".lock")).constData(),
                              O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (lockFd < 0) {
        return std::unexpected(journalError(errno));
    }
    if (::flock(lockFd, LOCK_EX | LOCK_NB) != 0) {
        const int error = errno;
        ::close(lockFd);
        if (error == EWOULDBLOCK) {
            return std::unexpected(FileSystemError{
                FileSystemError::Code::platform,
                QCoreApplication::translate("FileSystem", "This folder is open in another Calvenor Photo Sorter "
                                                  "window. Close it there first."),
                EWOULDBLOCK});
        }
        return std::unexpected(journalError(error));
    }
    const QString path = base + QStringLiteral(".journal");
    const int fd = calls->open(QFile::encodeName(path).constData(),
                               O_RDWR | O_CREAT | O_APPEND | O_CLOEXEC, 0600);
    if (fd < 0) {
        const int error = errno;
        ::close(lockFd);
        return std::unexpected(journalError(error));
    }
    std::unique_ptr<OperationJournal> journal(new OperationJournal(fd, path, std::move(calls)));
    journal->m_lockFd = lockFd;
    journal->m_compactAfter = compactAfter;
    QFile file;
    QByteArray bytes;
    if (file.open(fd, QIODevice::ReadOnly, QFileDevice::DontCloseHandle)) {
        bytes = file.readAll();
        file.close();
    }
    // A torn last line is cut off, so the next record starts on a line of its own.
    const qsizetype end = bytes.lastIndexOf('\n') + 1;
    if (end < bytes.size()) {
        ::ftruncate(fd, end);
        bytes.truncate(end);
    }
    journal->read(bytes);
    if (!bytes.isEmpty() && !FileIdentity::sameItem(journal->m_rootIdentity, rootIdentity)) {
        // Another collection's journal (copied here, or a folder made since on the inode of a
        // deleted root, told apart by its birth time): kept aside, never replayed here.
        QFile::remove(path + QStringLiteral(".foreign"));
        QFile::copy(path, path + QStringLiteral(".foreign"));
        ::ftruncate(fd, 0);
        journal->m_history = {};
        journal->m_open.clear();
        journal->m_recordCount = 0;
        journal->m_rootIdentity.clear();
    }
    if (!journal->m_rootIdentity.isEmpty() && journal->m_rootPath != rootPath) {
        // The same folder under another path (renamed or moved): its records follow it.
        const Result<void> moved = journal->append(
            {{QStringLiteral("t"), QStringLiteral("moved")}, {QStringLiteral("path"), rootPath}});
        if (!moved) {
            return std::unexpected(moved.error());
        }
    }
    if (journal->m_rootIdentity.isEmpty() || journal->m_rootIdentity != rootIdentity) {
        // New, or recorded with fewer parts than the root now shows: from here on a reused
        // inode is told apart.
        const Result<void> header = journal->append(
            {{QStringLiteral("t"), QStringLiteral("root")},
             {QStringLiteral("path"), rootPath},
             {QStringLiteral("id"), rootIdentity}});
        if (!header) {
            return std::unexpected(header.error());
        }
        // A journal whose name a power cut could lose would leave the first batch unrecorded.
        if (const int error = syncFolder(*journal->m_calls, stateFolder)) {
            return std::unexpected(journalError(error));
        }
    }
    return journal;
}

void OperationJournal::read(const QByteArray &bytes)
{
    qsizetype start = 0;
    while (start < bytes.size()) {
        const qsizetype newline = bytes.indexOf('\n', start);
        const qsizetype end = newline < 0 ? bytes.size() : newline;
        const QByteArray line = bytes.mid(start, end - start);
        start = end + 1;
        const qsizetype space = line.indexOf(' ');
        const QByteArray json = space == 16 ? line.mid(17) : QByteArray();
        if (json.isEmpty() || checksum(json) != line.left(16)) {
            continue;
        }
        const QJsonDocument document = QJsonDocument::fromJson(json);
        if (!document.isObject()) {
            continue;
        }
        apply(document.object());
        ++m_recordCount;
    }
}

void OperationJournal::apply(const QJsonObject &record)
{
    const QString type = record.value(QStringLiteral("t")).toString();
    const qint64 batch = record.value(QStringLiteral("b")).toInteger();
    if (type == QLatin1String("root")) {
        const QString identity = record.value(QStringLiteral("id")).toString();
        if (m_rootIdentity.isEmpty()) {
            m_rootPath = record.value(QStringLiteral("path")).toString();
            m_rootIdentity = identity;
        } else if (FileIdentity::sameItem(m_rootIdentity, identity)) {
            m_rootIdentity = identity; // the same root, with the parts it now carries
        }
    } else if (type == QLatin1String("begin")) {
        m_open.insert(batch, {roleFrom(record.value(QStringLiteral("role")).toString()),
                              record.value(QStringLiteral("name")).toString(),
                              record.value(QStringLiteral("of")).toInteger(),
                              kindFrom(record.value(QStringLiteral("kind")))});
        m_nextID = std::max(m_nextID, batch + 1);
    } else if (type == QLatin1String("move")) {
        if (const auto open = m_open.find(batch); open != m_open.end()) {
            open->moves.append({moveFrom(record), false, {}, {}});
        }
    } else if (type == QLatin1String("done")) {
        const auto open = m_open.find(batch);
        const qsizetype index = record.value(QStringLiteral("n")).toInteger(-1);
        if (open != m_open.end() && index >= 0 && index < open->moves.size()) {
            open->moves[index].reportedDone = true;
            open->moves[index].identityAfter = record.value(QStringLiteral("i")).toString();
            open->moves[index].destinationAfter = record.value(QStringLiteral("d")).toString();
        }
    } else if (type == QLatin1String("copy")) {
        const auto open = m_open.find(batch);
        const qsizetype index = record.value(QStringLiteral("n")).toInteger(-1);
        if (open != m_open.end() && index >= 0 && index < open->moves.size()) {
            open->moves[index].copyIdentities.append(record.value(QStringLiteral("i")).toString());
        }
    } else if (type == QLatin1String("end")) {
        applyEnd(batch, record);
    } else if (type == QLatin1String("cut")) {
        // Written by earlier versions, whose category changes were not in the journal.
        m_history.actions.resize(m_history.index);
    } else if (type == QLatin1String("moved")) {
        rebase(record.value(QStringLiteral("path")).toString());
    } else if (type == QLatin1String("history")) {
        m_history = {};
        for (const QJsonValue &value : record.value(QStringLiteral("actions")).toArray()) {
            const QJsonObject action = value.toObject();
            m_history.actions.append({action.value(QStringLiteral("id")).toInteger(),
                                      action.value(QStringLiteral("name")).toString(),
                                      movesFrom(action.value(QStringLiteral("moves"))),
                                      kindFrom(action.value(QStringLiteral("kind"))),
                                      folderFrom(action.value(QStringLiteral("f")))});
        }
        m_history.index = std::clamp<qsizetype>(record.value(QStringLiteral("index")).toInteger(),
                                                0, m_history.actions.size());
        m_nextID = std::max(m_nextID, record.value(QStringLiteral("next")).toInteger());
    }
}

void OperationJournal::applyEnd(qint64 batch, const QJsonObject &record)
{
    const auto open = m_open.find(batch);
    if (open == m_open.end()) {
        return;
    }
    const Batch ended = *open;
    m_open.erase(open);
    const bool kept = record.value(QStringLiteral("kept")).toBool();
    const QList<FileMove> moves = movesFrom(record.value(QStringLiteral("moves")));
    QList<Action> &actions = m_history.actions;
    qsizetype &index = m_history.index;
    switch (ended.role) {
    case Role::action: {
        const bool changedCategories = ended.kind == ActionKind::newCategory
                                       || ended.kind == ActionKind::deleteCategory;
        if (!kept || ended.name.isEmpty() || (moves.isEmpty() && !changedCategories)) {
            return;
        }
        actions.resize(index);
        actions.append({batch, ended.name, moves, ended.kind,
                        folderFrom(record.value(QStringLiteral("f")))});
        if (actions.size() > keptActions) {
            actions.remove(0, actions.size() - keptActions);
        }
        index = actions.size();
        break;
    }
    case Role::undo:
        // An undo applies to the last done action; one that names another is stale. One put
        // back after a crash never reached the window's undo stack.
        if (record.value(QStringLiteral("abandoned")).toBool() || index == 0
            || (ended.actionID != 0 && actions[index - 1].id != ended.actionID)) {
            return;
        }
        --index;
        if (kept) {
            undone(actions[index], moves);
        }
        break;
    case Role::redo:
        if (record.value(QStringLiteral("abandoned")).toBool() || index == actions.size()
            || (ended.actionID != 0 && actions[index].id != ended.actionID)) {
            return;
        }
        if (kept) {
            redone(actions[index], moves);
        }
        ++index;
        break;
    }
}

void OperationJournal::rebase(const QString &rootPath)
{
    const QString old = m_rootPath;
    if (old.isEmpty() || rootPath.isEmpty() || old == rootPath) {
        return;
    }
    const auto moved = [&](const QString &path) {
        return path == old || path.startsWith(old + QLatin1Char('/'))
                   ? rootPath + path.mid(old.size())
                   : path; // outside the root: the trash
    };
    const auto movedURL = [&](const QUrl &url) {
        return url.isEmpty() ? url : QUrl::fromLocalFile(moved(url.toLocalFile()));
    };
    const auto movedEach = [&](QList<FileMove> &moves) {
        for (FileMove &move : moves) {
            move.source = movedURL(move.source);
            move.destination = movedURL(move.destination);
        }
    };
    for (Action &action : m_history.actions) {
        movedEach(action.moves);
        action.folder = movedURL(action.folder);
    }
    for (Batch &batch : m_open) {
        for (PendingMove &pending : batch.moves) {
            pending.move.source = movedURL(pending.move.source);
            pending.move.destination = movedURL(pending.move.destination);
            if (!pending.destinationAfter.isEmpty()) {
                pending.destinationAfter = moved(pending.destinationAfter);
            }
        }
    }
    m_rootPath = rootPath;
}

Result<void> OperationJournal::append(const QJsonObject &record)
{
    const QByteArray json = QJsonDocument(record).toJson(QJsonDocument::Compact);
    if (const int error = writeDurably(*m_calls, m_fd, checksum(json) + ' ' + json + '\n')) {
        return std::unexpected(journalError(error));
    }
    ++m_recordCount;
    apply(record);
    return {};
}

QList<OperationJournal::PendingBatch> OperationJournal::pendingBatches() const
{
    QList<PendingBatch> batches;
    for (auto batch = m_open.cbegin(); batch != m_open.cend(); ++batch) {
        batches.append({batch.key(), batch->moves});
    }
    std::sort(batches.begin(), batches.end(),
              [](const PendingBatch &a, const PendingBatch &b) { return a.id < b.id; });
    return batches;
}

Result<qint64> OperationJournal::beginBatch(Role role, const QString &name, ActionKind kind,
                                            qint64 actionID)
{
    const qint64 batch = m_nextID++;
    QJsonObject record{{QStringLiteral("t"), QStringLiteral("begin")},
                       {QStringLiteral("b"), batch},
                       {QStringLiteral("role"), roleName(role)},
                       {QStringLiteral("name"), name}};
    if (role != Role::action) {
        record.insert(QStringLiteral("of"), actionID);
    } else if (kind != ActionKind::moves) {
        record.insert(QStringLiteral("kind"), kindName(kind));
    }
    if (Result<void> written = append(record); !written) {
        return std::unexpected(written.error());
    }
    return batch;
}

Result<void> OperationJournal::intend(qint64 batch, const FileMove &move)
{
    QJsonObject record = moveObject(move);
    record.insert(QStringLiteral("t"), QStringLiteral("move"));
    record.insert(QStringLiteral("b"), batch);
    return append(record);
}

Result<void> OperationJournal::performed(qint64 batch, const FileMove &move)
{
    const auto open = m_open.constFind(batch);
    if (open == m_open.cend()) {
        return {};
    }
    qsizetype index = -1;
    for (qsizetype i = open->moves.size() - 1; i >= 0; --i) {
        if (open->moves[i].move.source == move.source && !open->moves[i].reportedDone) {
            index = i;
            break;
        }
    }
    if (index < 0) {
        return {};
    }
    return append({{QStringLiteral("t"), QStringLiteral("done")},
                   {QStringLiteral("b"), batch},
                   {QStringLiteral("n"), index},
                   {QStringLiteral("d"), move.destination.toLocalFile()},
                   {QStringLiteral("i"), move.itemIdentity}});
}

Result<void> OperationJournal::copied(qint64 batch, const QUrl &source, const QString &identity)
{
    const auto open = m_open.constFind(batch);
    if (open == m_open.cend()) {
        return {};
    }
    for (qsizetype i = open->moves.size() - 1; i >= 0; --i) {
        if (open->moves[i].move.source == source) {
            return append({{QStringLiteral("t"), QStringLiteral("copy")},
                           {QStringLiteral("b"), batch},
                           {QStringLiteral("n"), i},
                           {QStringLiteral("i"), identity}});
        }
    }
    return {};
}

PlatformFileSystem::CopyNote OperationJournal::copyNote(qint64 batch, const QUrl &source,
                                                        PlatformFileSystem &fileSystem)
{
    return [this, batch, source, &fileSystem](const QString &copy) -> Result<void> {
        const Result<EntryInfo> info = fileSystem.stat(copy);
        if (!info) {
            return std::unexpected(info.error());
        }
        return copied(batch, source, FileIdentity::of(*info));
    };
}

Result<void> OperationJournal::endBatch(qint64 batch, Outcome outcome,
                                        const QList<FileMove> &moves, const QUrl &folder)
{
    QJsonObject record{{QStringLiteral("t"), QStringLiteral("end")},
                       {QStringLiteral("b"), batch},
                       {QStringLiteral("kept"), outcome == Outcome::kept}};
    if (outcome == Outcome::kept) {
        record.insert(QStringLiteral("moves"), movesArray(moves));
        if (!folder.isEmpty()) {
            record.insert(QStringLiteral("f"), folder.toLocalFile());
        }
    } else if (outcome == Outcome::abandoned) {
        record.insert(QStringLiteral("abandoned"), true);
    }
    if (Result<void> written = append(record); !written) {
        return written;
    }
    if (m_recordCount > m_compactAfter && m_open.isEmpty()) {
        return compact();
    }
    return {};
}

Result<void> OperationJournal::compact()
{
    QJsonArray actions;
    for (const Action &action : std::as_const(m_history.actions)) {
        actions.append(actionObject(action));
    }
    QByteArray bytes;
    for (const QJsonObject &record :
         {QJsonObject{{QStringLiteral("t"), QStringLiteral("root")},
                      {QStringLiteral("path"), m_rootPath},
                      {QStringLiteral("id"), m_rootIdentity}},
          QJsonObject{{QStringLiteral("t"), QStringLiteral("history")},
                      {QStringLiteral("index"), m_history.index},
                      {QStringLiteral("next"), m_nextID},
                      {QStringLiteral("actions"), actions}}}) {
        const QByteArray json = QJsonDocument(record).toJson(QJsonDocument::Compact);
        bytes += checksum(json) + ' ' + json + '\n';
    }
    // Written aside, synced, then put in place: a crash leaves the old or the new file whole.
    const QString temporary = m_path + QStringLiteral(".new");
    const int fd = m_calls->open(QFile::encodeName(temporary).constData(),
                                 O_WRONLY | O_CREAT | O_TRUNC | O_APPEND | O_CLOEXEC, 0600);
    if (fd < 0) {
        return std::unexpected(journalError(errno));
    }
    if (const int error = writeDurably(*m_calls, fd, bytes)) {
        ::close(fd);
        m_calls->unlink(QFile::encodeName(temporary).constData());
        return std::unexpected(journalError(error));
    }
    if (m_calls->rename(QFile::encodeName(temporary).constData(),
                        QFile::encodeName(m_path).constData())
        != 0) {
        const int error = errno;
        ::close(fd);
        m_calls->unlink(QFile::encodeName(temporary).constData());
        return std::unexpected(journalError(error));
    }
    // The new file is in place whether or not its name is durable yet; if a power cut loses
    // the rename, the old file, whole, says as much.
    (void)syncFolder(*m_calls, QFileInfo(m_path).absolutePath());
    ::close(m_fd);
    m_fd = fd;
    m_recordCount = 2;
    return {};
}
