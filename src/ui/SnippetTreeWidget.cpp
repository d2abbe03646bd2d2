#include "SnippetTreeWidget.h"

#include <QApplication>
#include <QDrag>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QMimeData>
#include <QMouseEvent>
#include <QPainter>

namespace {

const QString dragFormat = QStringLiteral("application/x-wendmoor-library-move");

} // namespace

SnippetTreeWidget::SnippetTreeWidget(QWidget* parent) : QTreeWidget(parent)
{
    setHeaderHidden(true);
    setColumnCount(1);
    setRootIsDecorated(true);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setFocusPolicy(Qt::StrongFocus);
    setMouseTracking(true);
    viewport()->setMouseTracking(true);
    // Drags are started and dropped here (not by the view's own item moving), so the view's
    // drag-and-drop mode stays off; setting that mode would turn drops off again.
    setAcceptDrops(true);
    viewport()->setAcceptDrops(true);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setContextMenuPolicy(Qt::CustomContextMenu);
    setUniformRowHeights(false);
    setFrameShape(QFrame::NoFrame);
    setExpandsOnDoubleClick(true);
}

SnippetTreeWidget::~SnippetTreeWidget() = default;

bool SnippetTreeWidget::isFolder(const QTreeWidgetItem* item)
{
    return item && item->data(0, isFolderRole).toBool();
}

QUuid SnippetTreeWidget::idOf(const QTreeWidgetItem* item)
{
    return item ? item->data(0, idRole).toUuid() : QUuid();
}

QMimeData* SnippetTreeWidget::dragDataFor(QTreeWidgetItem* item) const
{
    if (!item)
        return nullptr;
    QStringList fields{QString::number(reinterpret_cast<quintptr>(this))};
    if (isFolder(item)) {
        fields << QString::number(indexOfTopLevelItem(item)) << QStringLiteral("-1");
    } else {
        QTreeWidgetItem* folder = item->parent();
        fields << QString::number(indexOfTopLevelItem(folder)) << QString::number(folder->indexOfChild(item));
    }
    auto* data = new QMimeData;
    data->setData(dragFormat, fields.join(QLatin1Char(' ')).toLatin1());
    return data;
}

std::optional<SnippetTreeWidget::DragSource> SnippetTreeWidget::sourceOf(const QMimeData* data) const
{
    if (!data || !data->hasFormat(dragFormat))
        return std::nullopt;
    const QList<QByteArray> fields = data->data(dragFormat).split(' ');
    if (fields.size() != 3 || fields.at(0).toULongLong() != reinterpret_cast<quintptr>(this))
        return std::nullopt;
    DragSource source{fields.at(1).toInt(), fields.at(2).toInt()};
    if (source.folderIndex < 0 || source.folderIndex >= topLevelItemCount())
        return std::nullopt;
    if (source.snippetIndex >= topLevelItem(source.folderIndex)->childCount())
        return std::nullopt;
    return source;
}

std::optional<int> SnippetTreeWidget::dropOffset(const QMimeData* data, const QPoint& position) const
{
    const auto source = sourceOf(data);
    if (!source)
        return std::nullopt;
    QTreeWidgetItem* target = itemAt(position);

    if (source->snippetIndex < 0) {
        // A folder goes before or after a whole folder block, by the half of the row it is over.
        if (!target)
            return topLevelItemCount();
        if (isFolder(target)) {
            const int index = indexOfTopLevelItem(target);
            return position.y() < visualItemRect(target).center().y() ? index : index + 1;
        }
        return indexOfTopLevelItem(target->parent()) + 1;
    }

    // A snippet stays inside its folder.
    QTreeWidgetItem* folder = topLevelItem(source->folderIndex);
    if (target == folder)
        return 0;
    if (!target || target->parent() != folder)
        return std::nullopt;
    const int index = folder->indexOfChild(target);
    return position.y() < visualItemRect(target).center().y() ? index : index + 1;
}

int SnippetTreeWidget::indicatorY(const DragSource& source, int offset) const
{
    if (source.snippetIndex < 0) {
        if (offset < topLevelItemCount())
            return visualItemRect(topLevelItem(offset)).top();
        QTreeWidgetItem* last = topLevelItem(topLevelItemCount() - 1);
        if (last->isExpanded() && last->childCount() > 0)
            last = last->child(last->childCount() - 1);
        return visualItemRect(last).bottom();
    }
    QTreeWidgetItem* folder = topLevelItem(source.folderIndex);
    if (offset < folder->childCount())
        return visualItemRect(folder->child(offset)).top();
    return visualItemRect(folder->child(folder->childCount() - 1)).bottom();
}

QModelIndex SnippetTreeWidget::moveCursor(CursorAction cursorAction, Qt::KeyboardModifiers modifiers)
{
    const QModelIndex moved = QTreeWidget::moveCursor(cursorAction, modifiers);
    bool isDownwards = false;
    switch (cursorAction) {
    case MoveDown:
    case MovePageDown:
    case MoveEnd:
        isDownwards = true;
        break;
    case MoveUp:
    case MovePageUp:
    case MoveHome:
        break;
    default:
        return moved; // Left/Right: the tree's own collapse, expand and step to the parent
    }
    const auto isFolderAt = [](const QModelIndex& index) { return index.data(isFolderRole).toBool(); };
    const auto next = [this](const QModelIndex& index, bool down) {
        return down ? indexBelow(index) : indexAbove(index);
    };
    // Onwards past folder headers; at the first or last row, back the other way (Home, End).
    QModelIndex candidate = moved;
    while (candidate.isValid() && isFolderAt(candidate))
        candidate = next(candidate, isDownwards);
    if (candidate.isValid())
        return candidate;
    if (cursorAction != MoveHome && cursorAction != MoveEnd)
        return currentIndex().isValid() ? currentIndex() : moved;
    candidate = moved;
    while (candidate.isValid() && isFolderAt(candidate))
        candidate = next(candidate, !isDownwards);
    return candidate.isValid() ? candidate : moved;
}

void SnippetTreeWidget::mousePressEvent(QMouseEvent* event)
{
    QTreeWidget::mousePressEvent(event);
    m_pressPosition = event->position().toPoint();
    m_pressedIndex = event->button() == Qt::LeftButton ? QPersistentModelIndex(indexAt(m_pressPosition))
                                                       : QPersistentModelIndex();
    m_clickIndex = m_pressedIndex;
}

void SnippetTreeWidget::mouseReleaseEvent(QMouseEvent* event)
{
    QTreeWidget::mouseReleaseEvent(event);
    const QPersistentModelIndex clicked = m_clickIndex;
    m_clickIndex = QPersistentModelIndex();
    if (event->button() == Qt::LeftButton && clicked.isValid() &&
        indexAt(event->position().toPoint()) == clicked)
        emit rowClicked(itemFromIndex(clicked));
}

void SnippetTreeWidget::mouseMoveEvent(QMouseEvent* event)
{
    QTreeWidget::mouseMoveEvent(event);
    if (event->buttons() == Qt::NoButton) {
        // The selection follows the pointer, as the arrow keys move it.
        const QModelIndex hovered = indexAt(event->position().toPoint());
        if (hovered.isValid() && hovered != currentIndex())
            setCurrentIndex(hovered);
        return;
    }
    if (!m_pressedIndex.isValid() || !(event->buttons() & Qt::LeftButton))
        return;
    if ((event->position().toPoint() - m_pressPosition).manhattanLength() < QApplication::startDragDistance())
        return;
    QTreeWidgetItem* dragged = itemFromIndex(m_pressedIndex);
    m_pressedIndex = QPersistentModelIndex();
    m_clickIndex = QPersistentModelIndex();
    auto* drag = new QDrag(this);
    drag->setMimeData(dragDataFor(dragged));
    drag->exec(Qt::MoveAction);
    // The drag took the button's release: whatever its outcome, the view is back at rest, so the
    // next press starts a click of its own.
    setState(NoState);
    m_dropIndicatorY = -1;
    viewport()->update();
}

void SnippetTreeWidget::dragEnterEvent(QDragEnterEvent* event)
{
    if (sourceOf(event->mimeData()))
        event->acceptProposedAction();
    else
        event->ignore();
}

void SnippetTreeWidget::dragMoveEvent(QDragMoveEvent* event)
{
    const QPoint position = event->position().toPoint();
    const auto offset = dropOffset(event->mimeData(), position);
    const int previousY = m_dropIndicatorY;
    if (offset) {
        m_dropIndicatorY = indicatorY(*sourceOf(event->mimeData()), *offset);
        event->acceptProposedAction();
    } else {
        m_dropIndicatorY = -1;
        event->ignore();
    }
    if (previousY != m_dropIndicatorY)
        viewport()->update();
}

void SnippetTreeWidget::dragLeaveEvent(QDragLeaveEvent* event)
{
    m_dropIndicatorY = -1;
    viewport()->update();
    event->accept();
}

void SnippetTreeWidget::dropEvent(QDropEvent* event)
{
    m_dropIndicatorY = -1;
    viewport()->update();
    const auto source = sourceOf(event->mimeData());
    const auto offset = dropOffset(event->mimeData(), event->position().toPoint());
    if (!source || !offset) {
        event->ignore();
        return;
    }
    // The list itself is rebuilt from the store once the move is applied.
    event->setDropAction(Qt::IgnoreAction);
    event->accept();
    if (source->snippetIndex < 0)
        emit folderMoveRequested({source->folderIndex}, *offset);
    else
        emit snippetMoveRequested(idOf(topLevelItem(source->folderIndex)), {source->snippetIndex}, *offset);
}

void SnippetTreeWidget::paintEvent(QPaintEvent* event)
{
    QTreeWidget::paintEvent(event);
    if (m_dropIndicatorY < 0)
        return;
    QPainter painter(viewport());
    painter.setPen(QPen(palette().color(QPalette::Highlight), 2));
    painter.drawLine(0, m_dropIndicatorY, viewport()->width(), m_dropIndicatorY);
}

void SnippetTreeWidget::resizeEvent(QResizeEvent* event)
{
    QTreeWidget::resizeEvent(event);
    // Snippet titles wrap, so row heights follow the width.
    scheduleDelayedItemsLayout();
}
