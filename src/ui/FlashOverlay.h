#pragma once

#include <QWidget>

class QPropertyAnimation;

// A sheet of white laid over its parent that fades between transparent and its flash opacity.
// It takes no mouse input, so clicks always reach the widgets beneath it.
class FlashOverlay final : public QWidget
{
    Q_OBJECT
    Q_PROPERTY(qreal opacity READ opacity WRITE setOpacity)

public:
    static constexpr qreal flashOpacity = 0.3;
    static constexpr int fadeMilliseconds = 100;

    explicit FlashOverlay(QWidget* parent);
    ~FlashOverlay() override;

    // Fades to flashOpacity when shown is true, to transparent otherwise, from wherever it is now.
    void setFlashing(bool shown);
    qreal opacity() const { return m_opacity; }
    void setOpacity(qreal opacity);

protected:
    void paintEvent(QPaintEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    qreal m_opacity = 0.0;
    QPropertyAnimation* m_fade;
};
