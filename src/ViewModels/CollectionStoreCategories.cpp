#include "CollectionStore.h"

#include "Models/FilePaths.h"
#include "Models/NaturalOrder.h"
#include "Services/FileOperations.h"

// Creating, renaming and deleting categories, with their prompts and undo records.

namespace {

QString lastComponent(const QUrl &url)
{
    return FilePaths::nameOf(standardizedPath(url));
}

// The folders renaming or deleting the category at `url` changes: its own (whose photos leave
// it) and the one holding it.
QStringList categoryFolders(const QUrl &url)
{
    const QString folder = standardizedPath(url);
    return {FilePaths::parentOf(folder), folder};
}

} // namespace

void CollectionStore::showNewCategoryPrompt()
{
    if (!canCreateCategory()
        || refuse(FolderAccess::Command::newCategory, {standardizedPath(m_collection->rootURL)})) {
        return;
    }
    setCategoryPrompt(CategoryPrompt::make(CategoryPrompt::Mode::create(),
                                           tr("New Category"),
                                           tr("Create"), QString()));
}

void CollectionStore::showRenamePrompt(const QString &sectionID)
{
    const std::optional<PhotoSection> target = section(sectionID);
    if (!target || target->kind != PhotoSectionKind::category
        || refuse(FolderAccess::Command::renameCategory, categoryFolders(target->url))) {
        return;
    }
    setCategoryPrompt(CategoryPrompt::make(CategoryPrompt::Mode::rename(sectionID),
                                           tr("Rename Category"),
                                           tr("Rename"), target->name));
}

void CollectionStore::submitCategoryPrompt(CategoryPrompt prompt, const QString &name)
{
    setCategoryPrompt(std::nullopt);
    if (prompt.mode.kind == CategoryPrompt::Mode::Kind::rename) {
        renameCategory(prompt.mode.sectionID, name);
    } else {
        createCategory(name);
    }
}

void CollectionStore::createCategory(const QString &name)
{
    if (!m_collection) {
        return;
    }
    const QString root = standardizedPath(m_collection->rootURL);
    if (refuse(FolderAccess::Command::newCategory, {root}, root, {name.trimmed()})) {
        return;
    }
    const QString actionName = QStringLiteral("New Category");
    mutate(m_fileSystem.createCategory(name, m_collection->rootURL,
                                       {OperationJournal::Role::action, actionName,
                                        OperationJournal::ActionKind::newCategory}),
           [this](const Result<QUrl> &folder) {
               if (!folder) {
                   show(folder.error(), tr("Couldn\u2019t Create Category"));
                   return;
               }
               registerNewCategoryUndo(*folder);
               showHUD(tr("Created %1").arg(lastComponent(*folder)));
           });
}

DiskCommand *CollectionStore::registerNewCategoryUndo(const QUrl &created)
{
    QPointer<CollectionStore> self(this);
    return m_undo.push(QStringLiteral("New Category"), [self, created](bool redo) {
        if (!self) {
            return QtFuture::makeReadyFuture();
        }
        const JournalEntry entry = UndoJournal::stepEntry(redo, QStringLiteral("New Category"));
        const QString title = redo ? tr("Couldn\u2019t Redo New Category")
                                   : tr("Couldn\u2019t Undo New Category");
        const auto report = [self, title](const Result<void> &done) {
            if (!done) {
                self->show(done.error(), title);
            }
        };
        return redo ? self->mutate(self->m_fileSystem.createCategory(created, entry), report)
                    : self->mutate(self->m_fileSystem.removeEmptyCategory(created, entry), report);
    });
}

void CollectionStore::renameCategory(const QString &sectionID, const QString &name)
{
    const std::optional<PhotoSection> target = section(sectionID);
    if (target
        && !refuse(FolderAccess::Command::renameCategory, categoryFolders(target->url),
                   FilePaths::parentOf(standardizedPath(target->url)), {name.trimmed()})) {
        performRenameCategory(target->url, name,
                              {OperationJournal::Role::action, QStringLiteral("Rename Category"),
                               OperationJournal::ActionKind::renameCategory});
    }
}

QFuture<void> CollectionStore::performRenameCategory(const QUrl &folder, const QString &name,
                                                     const JournalEntry &entry)
{
    const bool registerUndo = entry.role == OperationJournal::Role::action;
    return mutate(m_fileSystem.renameCategory(folder, name, entry), [this, registerUndo](
                                                                        const Result<FileMove> &move) {
        if (!move) {
            show(move.error(), tr("Couldn\u2019t Rename Category"));
            return;
        }
        if (move->source == move->destination) {
            return; // the name did not change
        }
        if (registerUndo) {
            registerRenameUndo(*move);
        }
        showHUD(tr("Renamed to %1").arg(lastComponent(move->destination)));
    });
}

DiskCommand *CollectionStore::registerRenameUndo(const FileMove &renamed)
{
    QPointer<CollectionStore> self(this);
    return m_undo.push(QStringLiteral("Rename Category"), [self, renamed](bool redo) {
        if (!self) {
            return QtFuture::makeReadyFuture();
        }
        const FileMove step = redo ? renamed : renamed.reversed();
        return self->performRenameCategory(step.source, lastComponent(step.destination),
                                           UndoJournal::stepEntry(redo, QStringLiteral("Rename Category")));
    });
}

void CollectionStore::requestDeleteCategory(const QString &sectionID)
{
    const std::optional<PhotoSection> target = section(sectionID);
    if (!target || target->kind != PhotoSectionKind::category
        || refuse(FolderAccess::Command::deleteCategory, categoryFolders(target->url))) {
        return;
    }
    setDeleteCategoryPrompt(DeleteCategoryPrompt{target->id, target->name, target->count(),
                                                 target->unreadableNameCount});
}

void CollectionStore::confirmDeleteCategory(DeleteCategoryPrompt prompt)
{
    setDeleteCategoryPrompt(std::nullopt);
    const std::optional<PhotoSection> target = section(prompt.sectionID);
    if (!target || !m_collection
        || refuse(FolderAccess::Command::deleteCategory, categoryFolders(target->url))) {
        return;
    }
    const QUrl root = m_collection->rootURL;
    moveSectionToUnsortedOptimistically(*target, m_desktop.prefersReducedMotion() ? 0 : 200);
    const QString name = target->name;
    mutate(m_fileSystem.deleteCategory(target->url, root,
                                       {OperationJournal::Role::action,
                                        QStringLiteral("Delete Category"),
                                        OperationJournal::ActionKind::deleteCategory}),
           [this, name, root](
                                                               const Result<CategoryDeletion> &done) {
        if (!done) {
            show(done.error(), tr("Couldn\u2019t Delete Category"));
            return;
        }
        registerDeletionUndo(*done, root);
        showHUD(tr("Deleted %1").arg(name));
    });
}

DiskCommand *CollectionStore::registerDeletionUndo(const CategoryDeletion &deletion,
                                                                    const QUrl &root)
{
    // Each redo records its own deletion, so the next undo restores the photos from the names
    // they really got, which may differ from the first time.
    auto record = std::make_shared<CategoryDeletion>(deletion);
    QPointer<CollectionStore> self(this);
    return m_undo.push(QStringLiteral("Delete Category"), [self, record, root](bool redo) {
        if (!self) {
            return QtFuture::makeReadyFuture();
        }
        const JournalEntry entry = UndoJournal::stepEntry(redo, QStringLiteral("Delete Category"));
        if (redo) {
            return self->mutate(
                self->m_fileSystem.deleteCategory(record->categoryURL, root, entry),
                [self, record](const Result<CategoryDeletion> &deleted) {
                    if (!deleted) {
                        self->show(deleted.error(),
                                   tr("Couldn\u2019t Redo Delete Category"));
                        return;
                    }
                    *record = *deleted;
                });
        }
        return self->mutate(self->m_fileSystem.restoreDeletedCategory(*record, entry),
                            [self](const Result<QList<FileMove>> &restored) {
                                // The category folder itself comes back, not only its photos.
                                self->m_rescans.markEverything();
                                if (!restored) {
                                    self->show(restored.error(),
                                               tr("Couldn\u2019t Undo Delete Category"));
                                }
                            });
    });
}

void CollectionStore::moveSectionToUnsortedOptimistically(const PhotoSection &section,
                                                          int animationMs)
{
    if (!m_collection) {
        return;
    }
    PhotoCollection updated = *m_collection;
    qsizetype deleted = -1;
    qsizetype unsorted = -1;
    for (qsizetype i = 0; i < updated.sections.size(); ++i) {
        if (deleted < 0 && updated.sections[i].id == section.id) {
            deleted = i;
        }
        if (unsorted < 0 && updated.sections[i].kind == PhotoSectionKind::unsorted) {
            unsorted = i;
        }
    }
    if (deleted < 0 || unsorted < 0) {
        return;
    }
    const QList<Photo> taken = updated.sections.takeAt(deleted).photos;
    if (deleted < unsorted) {
        --unsorted;
    }
    PhotoSection &target = updated.sections[unsorted];
    QSet<QString> occupied;
    for (const Photo &photo : std::as_const(target.photos)) {
        for (const QString &name : photo.memberNames()) {
            occupied.insert(FileOperations::nameKey(name));
        }
    }
    for (Photo photo : taken) {
        photo.url = childURL(target.url, photo.filename);
        photo.renameMembers(predictedUniqueNames(photo.memberNames(), occupied));
        target.photos.append(photo);
    }
    sortPhotos(target.photos, m_sortOrder);
    setCollection(std::move(updated), animationMs);
}
