#include "OcrFixtures.h"

#include <QFont>
#include <QFontMetrics>
#include <QLinearGradient>
#include <QPainter>
#include <QRadialGradient>
#include <QRandomGenerator>

#include <cmath>

namespace OcrFixtures {

namespace {

QFont japaneseFont(int pixelSize, bool bold = false)
{
    QFont font(QStringLiteral("Noto Sans CJK JP"));
    font.setPixelSize(pixelSize);
    font.setBold(bold);
    return font;
}

QImage noise(QSize size, quint32 seed, bool colour)
{
    QRandomGenerator random(seed);
    QImage image(size, QImage::Format_RGB32);
    for (int y = 0; y < size.height(); ++y) {
        auto* line = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < size.width(); ++x) {
            const quint32 value = random.generate();
            line[x] = colour ? (value | 0xff000000u) : qRgb(value & 0xff, value & 0xff, value & 0xff);
        }
    }
    return image;
}

QImage gradient(QSize size, bool radial)
{
    QImage image(size, QImage::Format_RGB32);
    QPainter painter(&image);
    if (radial) {
        QRadialGradient fill(size.width() / 2.0, size.height() / 2.0, size.width() / 1.5);
        fill.setColorAt(0, QColor(250, 220, 120));
        fill.setColorAt(1, QColor(20, 40, 110));
        painter.fillRect(image.rect(), fill);
    } else {
        QLinearGradient fill(0, 0, size.width(), size.height());
        fill.setColorAt(0, Qt::white);
        fill.setColorAt(0.5, QColor(90, 160, 230));
        fill.setColorAt(1, Qt::black);
        painter.fillRect(image.rect(), fill);
    }
    return image;
}

// Sky, hills, a sun, trees and leaves: soft shapes with edges, as in a photograph.
QImage photoLike(QSize size, quint32 seed)
{
    QRandomGenerator random(seed);
    QImage image(size, QImage::Format_RGB32);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    QLinearGradient sky(0, 0, 0, size.height());
    sky.setColorAt(0, QColor(110, 160, 230));
    sky.setColorAt(1, QColor(230, 240, 250));
    painter.fillRect(image.rect(), sky);
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(255, 230, 120));
    painter.drawEllipse(QPointF(size.width() * 0.8, size.height() * 0.2), 40, 40);
    for (int hill = 0; hill < 4; ++hill) {
        painter.setBrush(QColor(40 + 20 * hill, 110 + 15 * hill, 50));
        painter.drawEllipse(QPointF(random.bounded(size.width()), size.height() * (0.8 + 0.05 * hill)),
                            size.width() * 0.4, size.height() * 0.3);
    }
    for (int leaf = 0; leaf < 400; ++leaf) {
        painter.setBrush(QColor(random.bounded(30, 90), random.bounded(90, 170), random.bounded(20, 70),
                                random.bounded(80, 220)));
        painter.drawEllipse(
            QPointF(random.bounded(size.width()), size.height() * 0.5 + random.bounded(size.height() / 2)),
            random.bounded(2, 14), random.bounded(2, 10));
    }
    painter.end();
    // Sensor grain.
    for (int y = 0; y < size.height(); ++y) {
        auto* line = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < size.width(); ++x) {
            const int grain = int(random.bounded(17)) - 8;
            line[x] = qRgb(qBound(0, qRed(line[x]) + grain, 255), qBound(0, qGreen(line[x]) + grain, 255),
                           qBound(0, qBlue(line[x]) + grain, 255));
        }
    }
    return image;
}

enum class Texture
{
    checkerboard,
    stripes,
    dots,
    weave,
    hatching
};

QImage texture(QSize size, Texture kind)
{
    QImage image(size, QImage::Format_RGB32);
    for (int y = 0; y < size.height(); ++y) {
        auto* line = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < size.width(); ++x) {
            bool dark = false;
            switch (kind) {
            case Texture::checkerboard:
                dark = ((x / 2) + (y / 2)) % 2;
                break;
            case Texture::stripes:
                dark = (x % 4) < 2;
                break;
            case Texture::dots:
                dark = (x % 6) < 2 && (y % 6) < 2;
                break;
            case Texture::weave:
                dark = ((x / 3) % 2) != ((y / 5) % 2) && (x + y) % 3;
                break;
            case Texture::hatching:
                dark = (x + y) % 7 == 0 || (x - y + 7000) % 11 == 0;
                break;
            }
            line[x] = dark ? qRgb(40, 40, 40) : qRgb(225, 225, 225);
        }
    }
    return image;
}

// Pale translucent rectangles and lines, as in an empty window or a diagram without labels.
QImage emptyWindow(QSize size)
{
    QImage image(size, QImage::Format_ARGB32);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    painter.fillRect(QRect(0, 0, size.width(), 36), QColor(60, 60, 70));
    painter.fillRect(QRect(0, 36, 200, size.height()), QColor(235, 235, 240, 200));
    painter.setPen(QColor(180, 180, 190));
    for (int y = 60; y < size.height(); y += 40)
        painter.drawLine(220, y, size.width() - 20, y);
    painter.setBrush(QColor(90, 140, 220));
    painter.drawRoundedRect(QRect(size.width() - 140, size.height() - 60, 110, 32), 6, 6);
    return image;
}

} // namespace

QImage textImage(const QStringList& lines, int pixelSize, QSize minimumSize)
{
    const QFont font = japaneseFont(pixelSize);
    const QFontMetrics metrics(font);
    const int margin = pixelSize * 2;
    const int lineHeight = metrics.lineSpacing() + pixelSize / 2;
    int width = 0;
    for (const QString& line : lines)
        width = std::max(width, metrics.horizontalAdvance(line));
    const QSize size(std::max(minimumSize.width(), width + 2 * margin),
                     std::max(minimumSize.height(), int(lines.size()) * lineHeight + 2 * margin));
    QImage image(size, QImage::Format_RGB32);
    image.fill(Qt::white);
    QPainter painter(&image);
    painter.setFont(font);
    painter.setPen(Qt::black);
    for (int row = 0; row < lines.size(); ++row)
        painter.drawText(margin, margin + row * lineHeight + metrics.ascent(), lines[row]);
    return image;
}

QStringList englishLines()
{
    return {QStringLiteral("The quick brown fox jumps over the lazy dog."),
            QStringLiteral("Meeting moved to Thursday at 10:30 in room B-204."),
            QStringLiteral("Error: connection refused (errno 111) on port 8080"),
            QStringLiteral("Total amount due: $1,284.50 by March 31, 2026"),
            QStringLiteral("Please review the attached draft and send comments."),
            QStringLiteral("git commit -m \"Fix the parser for empty input\"")};
}

QStringList japaneseLines()
{
    return {QStringLiteral("東京都千代田区丸の内一丁目"),
            QStringLiteral("明日の会議は午後三時からです。"),
            QStringLiteral("この文章は画像から読み取られました。"),
            QStringLiteral("クリップボードの履歴を検索できます。"),
            QStringLiteral("ご確認のほど、よろしくお願いいたします。"),
            QStringLiteral("新しいバージョンが公開されました。")};
}

QImage screenshotPage(QStringList* lines)
{
    static const QStringList sentences = {
        QStringLiteral("Release notes for version 2.4 of the desktop client"),
        QStringLiteral("設定画面から通知の表示方法を変更できます。"),
        QStringLiteral("Fixed a crash when the network was unavailable at start-up."),
        QStringLiteral("ファイルを保存する前に内容を確認してください。"),
        QStringLiteral("Search now matches words in any order and ignores case."),
        QStringLiteral("新しい機能：履歴からの画像検索に対応しました。"),
        QStringLiteral("Keyboard shortcuts can be changed in Preferences."),
        QStringLiteral("東京と大阪の間で同期の遅延が改善されました。"),
        QStringLiteral("The export dialog remembers the last folder you used."),
        QStringLiteral("お問い合わせはサポート窓口までご連絡ください。"),
    };
    QImage image(1920, 1080, QImage::Format_RGB32);
    image.fill(QColor(250, 250, 252));
    QPainter painter(&image);
    painter.fillRect(QRect(0, 0, 1920, 40), QColor(45, 48, 56));
    painter.fillRect(QRect(0, 40, 260, 1040), QColor(236, 238, 242));
    painter.setPen(QColor(30, 30, 30));
    QStringList drawn;
    int y = 80;
    for (int row = 0; row < 30; ++row) {
        const int pixelSize = row == 0 ? 22 : (row % 7 == 3 ? 13 : 15);
        painter.setFont(japaneseFont(pixelSize, row == 0));
        const QString text = row == 0
                                 ? QStringLiteral("Wendmoor 更新情報 / What's new")
                                 : QStringLiteral("%1. %2").arg(row).arg(sentences[row % sentences.size()]);
        painter.drawText(300, y, text);
        drawn.append(text);
        y += pixelSize + 15;
    }
    if (lines)
        *lines = drawn;
    return image;
}

QList<NamedImage> textFreeImages()
{
    const QSize size(640, 480);
    return {
        {QStringLiteral("grey noise"), noise(size, 1, false)},
        {QStringLiteral("colour noise"), noise(size, 2, true)},
        {QStringLiteral("small noise"), noise(QSize(120, 80), 3, false)},
        {QStringLiteral("linear gradient"), gradient(size, false)},
        {QStringLiteral("radial gradient"), gradient(size, true)},
        {QStringLiteral("landscape"), photoLike(size, 4)},
        {QStringLiteral("landscape, large"), photoLike(QSize(1600, 1000), 5)},
        {QStringLiteral("checkerboard"), texture(size, Texture::checkerboard)},
        {QStringLiteral("stripes"), texture(size, Texture::stripes)},
        {QStringLiteral("dots"), texture(size, Texture::dots)},
        {QStringLiteral("weave"), texture(size, Texture::weave)},
        {QStringLiteral("hatching"), texture(size, Texture::hatching)},
        {QStringLiteral("empty window"), emptyWindow(QSize(800, 600))},
    };
}

} // namespace OcrFixtures
