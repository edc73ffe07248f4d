#include "PhotoContextMenu.h"

#include "ViewModels/CollectionStore.h"

#include <QCoreApplication>
#include <QMenu>
#include <QPointer>

namespace PhotoContextMenu {

QMenu *create(CollectionStore &store,
              const QString &photoID,
              const QString &sourceSectionID,
              QWidget *parent)
{
    auto *menu = new QMenu(parent);
    QPointer<CollectionStore> target(&store);
    const auto add = [&](QMenu *into, const QString &title, auto action) {
        return into->addAction(title, [target, photoID, action] {
            if (target) {
                target->focusForContextMenu(photoID);
                action(*target);
            }
        });
    };
    add(menu, QCoreApplication::translate("PhotoContextMenu", "Open"), [](CollectionStore &s) { s.openFocusedPhoto(); });
    add(menu, QCoreApplication::translate("PhotoContextMenu", "Quick Look"), [](CollectionStore &s) { s.toggleQuickLook(); });
    add(menu, QCoreApplication::translate("PhotoContextMenu", "Reveal in File Manager"),
        [](CollectionStore &s) { s.revealFocusedPhoto(); });
    menu->addSeparator();
    QMenu *moveTo = menu->addMenu(QCoreApplication::translate("PhotoContextMenu", "Move to"));
    const QList<PhotoSection> sections = store.sections();
    for (qsizetype i = 0; i < sections.size(); ++i) {
        const PhotoSection &section = sections[i];
        const QString title =
            i <= 9 ? QString::number(i) + QStringLiteral("  ") + section.name : section.name;
        const QString sectionID = section.id;
        QAction *entry =
            add(moveTo, title, [sectionID](CollectionStore &s) { s.moveSelected(sectionID); });
        entry->setEnabled(section.id != sourceSectionID);
    }
    menu->addSeparator();
    add(menu, QCoreApplication::translate("PhotoContextMenu", "Move to Trash"),
        [](CollectionStore &s) { s.moveSelectionToTrash(); });
    return menu;
}

QMenu *createForSection(CollectionStore &store, const QString &sectionID, QWidget *parent)
{
    const std::optional<PhotoSection> section = store.section(sectionID);
    if (!section || section->kind == PhotoSectionKind::unsorted) {
        return nullptr;
    }
    auto *menu = new QMenu(parent);
    QPointer<CollectionStore> target(&store);
    menu->addAction(QCoreApplication::translate("PhotoContextMenu", "Rename Category\u2026"), [target, sectionID] {
        if (target) {
            target->showRenamePrompt(sectionID);
        }
    });
    menu->addAction(QCoreApplication::translate("PhotoContextMenu", "Delete Category\u2026"), [target, sectionID] {
        if (target) {
            target->requestDeleteCategory(sectionID);
        }
    });
    return menu;
}

} // namespace PhotoContextMenu
