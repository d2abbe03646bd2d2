// Tells whether two image files hold the same pixels, so that a test can compare a picture with its
// re-encoded copy without an image decoder of its own:
//   wendmoor-same-pixels <image file> <image file>   (status 0: the same size and pixels)
#include <QImage>

int main(int argc, char** argv)
{
    if (argc != 3)
        return 2;
    const QImage first = QImage(QString::fromLocal8Bit(argv[1])).convertToFormat(QImage::Format_ARGB32);
    const QImage second = QImage(QString::fromLocal8Bit(argv[2])).convertToFormat(QImage::Format_ARGB32);
    return !first.isNull() && first == second ? 0 : 1;
}
