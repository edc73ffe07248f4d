#include "PhotoCanvasAccessible.h"

#include "PhotoCanvas.h"

#include <QCoreApplication>
#include <QAccessibleWidget>
#include <QHash>
#include <QPointer>

namespace {

PhotoCanvas *canvasOf(QObject *viewport)
{
    auto *widget = qobject_cast<QWidget *>(viewport);
    auto *canvas = widget ? qobject_cast<PhotoCanvas *>(widget->parentWidget()) : nullptr;
    return canvas && canvas->viewport() == widget ? canvas : nullptr;
}

class CellAccessible : public QAccessibleInterface
{
public:
    CellAccessible(PhotoCanvas *canvas, QString key)
        : m_canvas(canvas)
        , m_key(std::move(key))
    {
    }

    const QString &key() const { return m_key; }

    bool isValid() const override { return m_canvas && cell().has_value(); }
    QObject *object() const override { return nullptr; }
    QWindow *window() const override
    {
        return m_canvas ? m_canvas->window()->windowHandle() : nullptr;
    }
    QAccessibleInterface *parent() const override
    {
        return m_canvas ? QAccessible::queryAccessibleInterface(m_canvas->viewport()) : nullptr;
    }
    QAccessibleInterface *child(int) const override { return nullptr; }
    int childCount() const override { return 0; }
    int indexOfChild(const QAccessibleInterface *) const override { return -1; }
    QAccessibleInterface *childAt(int, int) const override { return nullptr; }
    QString text(QAccessible::Text t) const override
    {
        const auto c = cell();
        if (!c) {
            return {};
        }
        if (t == QAccessible::Name) {
            return c->name;
        }
        if (t == QAccessible::Value && c->isPhoto) {
            return c->selected ? QCoreApplication::translate("PhotoCanvas", "Selected") : QCoreApplication::translate("PhotoCanvas", "Not selected");
        }
        return {};
    }
    void setText(QAccessible::Text, const QString &) override {}
    QRect rect() const override
    {
        const auto c = cell();
        if (!c) {
            return {};
        }
        const QRect local = c->rect.toAlignedRect();
        return QRect(m_canvas->viewport()->mapToGlobal(local.topLeft()), local.size());
    }
    QAccessible::Role role() const override
    {
        const auto c = cell();
        return c && !c->isPhoto ? QAccessible::Heading : QAccessible::Graphic;
    }
    QAccessible::State state() const override
    {
        QAccessible::State s;
        const auto c = cell();
        s.selectable = c && c->isPhoto;
        s.selected = c && c->selected;
        s.invalid = !c;
        return s;
    }

private:
    std::optional<PhotoCanvas::AccessibleCell> cell() const
    {
        if (!m_canvas) {
            return std::nullopt;
        }
        for (const PhotoCanvas::AccessibleCell &c : m_canvas->accessibleCells()) {
            if (c.key == m_key) {
                return c;
            }
        }
        return std::nullopt;
    }

    QPointer<PhotoCanvas> m_canvas;
    QString m_key;
};

class ViewportAccessible : public QAccessibleWidget
{
public:
    explicit ViewportAccessible(QWidget *viewport)
        : QAccessibleWidget(viewport, QAccessible::List)
    {
    }

    ~ViewportAccessible() override
    {
        for (const QAccessible::Id id : std::as_const(m_children)) {
            QAccessible::deleteAccessibleInterface(id);
        }
    }

    int childCount() const override { return int(cells().size()); }

    QAccessibleInterface *child(int index) const override
    {
        const QList<PhotoCanvas::AccessibleCell> shown = cells();
        if (index < 0 || index >= shown.size()) {
            return nullptr;
        }
        const QString &key = shown[index].key;
        if (const auto it = m_children.constFind(key); it != m_children.constEnd()) {
            return QAccessible::accessibleInterface(*it);
        }
        auto *cell = new CellAccessible(canvasOf(object()), key);
        m_children.insert(key, QAccessible::registerAccessibleInterface(cell));
        return cell;
    }

    int indexOfChild(const QAccessibleInterface *child) const override
    {
        const auto *cell = dynamic_cast<const CellAccessible *>(child);
        if (!cell) {
            return -1;
        }
        const QList<PhotoCanvas::AccessibleCell> shown = cells();
        for (int i = 0; i < shown.size(); ++i) {
            if (shown[i].key == cell->key()) {
                return i;
            }
        }
        return -1;
    }

    QAccessibleInterface *childAt(int x, int y) const override
    {
        const QPoint local = widget()->mapFromGlobal(QPoint(x, y));
        const QList<PhotoCanvas::AccessibleCell> shown = cells();
        for (int i = 0; i < shown.size(); ++i) {
            if (shown[i].rect.contains(local)) {
                return child(i);
            }
        }
        return nullptr;
    }

private:
    QList<PhotoCanvas::AccessibleCell> cells() const
    {
        const PhotoCanvas *canvas = canvasOf(object());
        return canvas ? canvas->accessibleCells() : QList<PhotoCanvas::AccessibleCell>();
    }

    mutable QHash<QString, QAccessible::Id> m_children;
};

QAccessibleInterface *factory(const QString &, QObject *object)
{
    return canvasOf(object) ? new ViewportAccessible(static_cast<QWidget *>(object)) : nullptr;
}

} // namespace

namespace PhotoCanvasAccessible {

void install()
{
    static const bool installed = [] {
        QAccessible::installFactory(factory);
        return true;
    }();
    Q_UNUSED(installed);
}

} // namespace PhotoCanvasAccessible
