#pragma once

// The context menus of the board and the Browse views: one for a photo (open, preview, reveal,
// move to a section, trash) and one for a category section (rename, delete).

class CollectionStore;
class QMenu;
class QString;
class QWidget;

namespace PhotoContextMenu {

// Every entry first makes `photoID` the focus (and the selection, unless it is selected).
QMenu *create(CollectionStore &store,
              const QString &photoID,
              const QString &sourceSectionID,
              QWidget *parent);
// The menu of a category section; null for the Unsorted section, which has none.
QMenu *createForSection(CollectionStore &store, const QString &sectionID, QWidget *parent);

} // namespace PhotoContextMenu
