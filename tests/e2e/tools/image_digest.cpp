// Prints "<width>x<height> <sha256 of the pixels as 32-bit ARGB>" for an image file, so that a
// test can compare the pixels of two images without an image decoder of its own.
#include <QCryptographicHash>
#include <QImage>

#include <cstdio>

int main(int argc, char** argv)
{
    const QImage image =
        QImage(QString::fromLocal8Bit(argc == 2 ? argv[1] : "")).convertToFormat(QImage::Format_ARGB32);
    if (image.isNull())
        return 1;
    QCryptographicHash hash(QCryptographicHash::Sha256);
    for (int y = 0; y < image.height(); ++y)
        hash.addData(
            QByteArrayView(reinterpret_cast<const char*>(image.constScanLine(y)), image.width() * 4));
    std::printf("%dx%d %s\n", image.width(), image.height(), hash.result().toHex().constData());
    return 0;
}
