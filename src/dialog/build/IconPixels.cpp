// Build tool: turns a PNG into the window icon's stored form, its pixels as
// the raster engine holds them (premultiplied ARGB32, this machine's byte
// order, rows without padding). The manager then uses them in place instead
// of decoding an image at every start.
#include <QFile>
#include <QImage>
#include <cstdio>

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: %s <in.png> <out.argb32>\n", argv[0]);
        return 2;
    }
    const QImage image = QImage(QString::fromLocal8Bit(argv[1]))
                             .convertToFormat(QImage::Format_ARGB32_Premultiplied);
    if (image.isNull() || image.width() != image.height()) {
        std::fprintf(stderr, "%s: not a square image\n", argv[1]);
        return 1;
    }
    QFile out(QString::fromLocal8Bit(argv[2]));
    if (!out.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return 1;
    for (int y = 0; y < image.height(); ++y) {
        const auto* row = reinterpret_cast<const char*>(image.constScanLine(y));
        if (out.write(row, qint64(image.width()) * 4) != qint64(image.width()) * 4)
            return 1;
    }
    return out.flush() ? 0 : 1;
}
