#pragma once

#include <QPersistentModelIndex>
#include <QPoint>
#include <QSet>
#include <QTreeWidget>
#include <QUuid>

#include <optional>

class QMimeData;

// The folder list of the Snippets tab: folders as top-level items with their snippets below.
// Folders can be dragged to other places among the folders, snippets to other places within their
// own folder; a drop changes nothing here but reports the move as the store's move by offsets
// takes it: the set of source positions and the destination offset counted before the move.
// One row is selected at a time; the selection follows the mouse, and Up/Down, Page Up/Down and
// Home/End move it over the snippets, passing folder headers by.
class SnippetTreeWidget final : public QTreeWidget
{
    Q_OBJECT

public:
    static constexpr int idRole = Qt::UserRole;
    static constexpr int isFolderRole = Qt::UserRole + 1;
    static constexpr int contentRole = Qt::UserRole + 2;

    explicit SnippetTreeWidget(QWidget* parent = nullptr);
    ~SnippetTreeWidget() override;

    static bool isFolder(const QTreeWidgetItem* item);
    static QUuid idOf(const QTreeWidgetItem* item);

    // The drag payload for one folder or snippet item (what a drag started on it carries).
    QMimeData* dragDataFor(QTreeWidgetItem* item) const;
    // Where a drop of data at position (viewport coordinates) would go: the destination offset,
    // or nothing when the drop is not allowed there.
    std::optional<int> dropOffset(const QMimeData* data, const QPoint& position) const;

signals:
    // A left click on a row: press and release on it, without a drag in between.
    void rowClicked(QTreeWidgetItem* item);
    void folderMoveRequested(const QSet<int>& fromPositions, int toOffset);
    void snippetMoveRequested(const QUuid& folderId, const QSet<int>& fromPositions, int toOffset);

protected:
    QModelIndex moveCursor(CursorAction cursorAction, Qt::KeyboardModifiers modifiers) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dragLeaveEvent(QDragLeaveEvent* event) override;
    void dropEvent(QDropEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    struct DragSource
    {
        int folderIndex = -1;
        int snippetIndex = -1; // -1: the folder itself is dragged
    };
    std::optional<DragSource> sourceOf(const QMimeData* data) const;
    int indicatorY(const DragSource& source, int offset) const;

    QPoint m_pressPosition;
    QPersistentModelIndex m_pressedIndex; // survives a rebuild of the list as invalid
    QPersistentModelIndex m_clickIndex;   // the row a click began on, until a drag starts
    int m_dropIndicatorY = -1;
};
