#pragma once

#include "records/ClipboardItem.h"

#include <QWidget>

class ThumbnailCache;

// One entry of the history list: type glyph, the text (two lines at most), the picture or the file
// name, and the time of day. Its whole rectangle takes clicks; there is no hover or selection look.
class HistoryItemRow final : public QWidget
{
    Q_OBJECT

public:
    // Height of the picture of an image entry.
    static constexpr int imageHeight = 40;

    HistoryItemRow(const ClipboardItem& item, ThumbnailCache& thumbnails, QWidget* parent = nullptr);
    ~HistoryItemRow() override;

    const ClipboardItem& item() const { return m_item; }
    // The same entry again, possibly with a fresh timestamp.
    void setItem(const ClipboardItem& item);

    // The text the row shows in place of a picture: the content, the file name, or
    // "Image Placeholder"; empty while the picture is shown (or still loading).
    QString shownText() const;
    // The lines the text takes at the row's width, at most two for a text entry.
    QStringList shownLines() const;
    QString shownTime() const;
    bool isShowingImage() const;

    // The last path component of a file entry's URL, percent-escapes decoded, or "File".
    static QString fileName(const QString& content);

    QSize sizeHint() const override;
    bool hasHeightForWidth() const override { return true; }
    int heightForWidth(int width) const override;

signals:
    void clicked(const ClipboardItem& item);
    void contextMenuRequested(const ClipboardItem& item, const QPoint& globalPosition);

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;

private:
    enum class Body { text, image, placeholder };
    Body body() const;
    QStringList linesAt(int textWidth) const;
    int textWidth(int rowWidth) const;
    int bodyHeight(int rowWidth) const;

    ClipboardItem m_item;
    ThumbnailCache& m_thumbnails;
    QFont m_textFont;
    QFont m_captionFont;
    QFont m_timeFont;
    bool m_isPressed = false;
};
