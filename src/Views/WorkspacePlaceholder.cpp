#include "WorkspacePlaceholder.h"

#include "DarkroomPalette.h"
#include "ViewModels/CollectionStore.h"

#include <QHeaderView>
#include <QLabel>
#include <QLocale>
#include <QTreeWidget>
#include <QVBoxLayout>

WorkspacePlaceholder::WorkspacePlaceholder(CollectionStore &store, QWidget *parent)
    : QWidget(parent)
    , m_store(store)
{
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(24, 18, 24, 18);
    m_title = new QLabel(this);
    QFont titleFont = m_title->font();
    titleFont.setPixelSize(18);
    titleFont.setBold(true);
    m_title->setFont(titleFont);
    m_tree = new QTreeWidget(this);
    m_tree->setColumnCount(2);
    m_tree->setHeaderLabels({QStringLiteral("Name"), QStringLiteral("Dimensions")});
    m_tree->header()->setSectionResizeMode(0, QHeaderView::Stretch);
    m_tree->setUniformRowHeights(true);
    layout->addWidget(m_title);
    layout->addWidget(m_tree);
    connect(&m_store, &CollectionStore::collectionChanged, this, &WorkspacePlaceholder::refresh);
    refresh();
}

void WorkspacePlaceholder::refresh()
{
    m_tree->clear();
    const std::optional<PhotoCollection> &collection = m_store.collection();
    if (!collection) {
        m_title->clear();
        return;
    }
    const QLocale locale;
    m_title->setText(QStringLiteral("%1 \u2014 %2 photos").arg(collection->displayName,
                                                              locale.toString(collection->photoCount())));
    for (const PhotoSection &section : collection->sections) {
        auto *sectionItem = new QTreeWidgetItem(
            m_tree, {QStringLiteral("%1 (%2)").arg(section.name, locale.toString(section.count()))});
        for (const Photo &photo : section.photos) {
            new QTreeWidgetItem(sectionItem, {photo.filename, photo.dimensionsLabel()});
        }
        sectionItem->setExpanded(true);
    }
}
