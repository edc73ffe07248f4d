#pragma once

// A collection store over a real temporary folder, with its own settings file, trash and undo
// stack, plus helpers to wait for it and to look at what it shows.

#include "RecordingDesktop.h"
#include "Services/JournalKey.h"
#include "Services/OperationJournal.h"
#include "Services/Platform/FileIdentity.h"
#include "Services/Platform/LinuxFileSystem.h"
#include "TestFolders.h"
#include "ViewModels/CollectionStore.h"

#include <QLoggingCategory>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

struct StoreFixture
{
    QTemporaryDir root;
    QTemporaryDir home; // settings file and trash
    RecordingDesktop desktop;
    std::shared_ptr<QSettings> settings;
    QUndoStack undoStack;
    std::unique_ptr<CollectionStore> store;

    StoreFixture()
    {
        // Many test photos are a few bytes named .jpg; the decoder's complaints are noise.
        QLoggingCategory::setFilterRules(QStringLiteral("qt.gui.imageio.jpeg.warning=false"));
        qputenv("XDG_DATA_HOME", home.path().toUtf8());
        qputenv("XDG_STATE_HOME", home.path().toUtf8()); // the undo journals
        settings = std::make_shared<QSettings>(home.path() + QStringLiteral("/settings.ini"),
                                               QSettings::IniFormat);
    }

    // Creates the store (after the test has written any settings) and hands it the undo stack.
    CollectionStore &make(std::shared_ptr<PlatformFileSystem> fileSystem = {})
    {
        store = std::make_unique<CollectionStore>(desktop, settings, std::move(fileSystem));
        store->setUndoStack(&undoStack);
        return *store;
    }

    QString path(const QString &relative = {}) const
    {
        return relative.isEmpty() ? root.path() : root.path() + QLatin1Char('/') + relative;
    }

    // Opens the root and waits until it is shown and, unless told not to, every photo's
    // dimensions are read.
    bool open(bool readDimensions = true)
    {
        store->openCollection(QUrl::fromLocalFile(root.path()), false);
        return QTest::qWaitFor([this] { return !store->isLoading() && store->collection(); },
                               10000)
               && (!readDimensions || settle());
    }

    // Waits until no mutation is in flight, the reload after the last one has landed and the
    // dimensions of the photos it found are read.
    bool settle()
    {
        return QTest::qWaitFor(
            [this] { return !store->isBusy() && !store->isFillingDimensions(); },
            10000);
    }

    std::optional<PhotoSection> sectionNamed(const QString &name) const
    {
        for (const PhotoSection &section : store->sections()) {
            if (section.name == name) {
                return section;
            }
        }
        return std::nullopt;
    }

    QStringList names(const QString &sectionName) const
    {
        QStringList result;
        if (const auto section = sectionNamed(sectionName)) {
            for (const Photo &photo : section->photos) {
                result.append(photo.filename);
            }
        }
        return result;
    }

    QString idOf(const QString &filename) const
    {
        for (const PhotoSection &section : store->sections()) {
            for (const Photo &photo : section.photos) {
                if (photo.filename == filename) {
                    return photo.id;
                }
            }
        }
        return {};
    }

    // Selects exactly the photos named "a.jpg|b.jpg", Ctrl-clicked in turn.
    void selectOnly(QAnyStringView filenames)
    {
        store->deselectAll();
        for (const QString &name : TestFolders::split(filenames)) {
            const QString id = idOf(name);
            QVERIFY2(!id.isEmpty(), qPrintable(name));
            store->select(id, {}, Qt::ControlModifier);
        }
    }

    // The journal of the folder at `folder`, opened as another window would open it.
    static Result<std::unique_ptr<OperationJournal>> journalOf(const QString &folder)
    {
        const Result<EntryInfo> info = LinuxFileSystem().stat(folder, true);
        if (!info) {
            return std::unexpected(info.error());
        }
        const QString identity = FileIdentity::of(*info);
        return OperationJournal::open(OperationJournal::defaultStateFolder(),
                                      JournalKey::of(folder, identity), folder, identity);
    }

    QStringList selectedNames() const
    {
        QStringList result;
        for (const Photo &photo : store->selectedPhotosInDisplayOrder()) {
            result.append(photo.filename);
        }
        return result;
    }

    QString focusedName() const
    {
        const std::optional<Photo> photo = store->focusedPhoto();
        return photo ? photo->filename : QString();
    }
};
