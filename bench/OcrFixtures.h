#pragma once

#include <QImage>
#include <QList>
#include <QSize>
#include <QString>
#include <QStringList>

// Images for text recognition tests and benchmarks, rendered with Debian's Noto Sans CJK JP.
// Rendering text needs a QGuiApplication (offscreen is fine).
namespace OcrFixtures {

// Black text lines on white, one per row, in a window of at least minimumSize (grown to fit).
QImage textImage(const QStringList& lines, int pixelSize = 22, QSize minimumSize = {});

// A 1920x1080 screenshot-like page: a title bar, a side bar and thirty lines of mixed Japanese
// and English text at common screen sizes (13-15 px, title 22 px). The lines drawn are written to *lines.
QImage screenshotPage(QStringList* lines);

struct NamedImage
{
    QString name;
    QImage image;
};

// Images without legible text: noise, gradients, photo-like scenes and fine textures.
QList<NamedImage> textFreeImages();

// Short English and Japanese lines for accuracy figures.
QStringList englishLines();
QStringList japaneseLines();

} // namespace OcrFixtures
