#include "dialog/AppIcon.h"

#include <QDir>
#include <QPixmap>
#include <QResource>
#include <algorithm>

namespace {

QString PathFor(int size) {
    return QStringLiteral(":/icons/tarnwick-%1.argb32").arg(size);
}

} // namespace

QList<int> AppIconSizes() {
    QList<int> sizes;
    // No name filter: it would load the regular-expression library.
    for (const QString& name : QDir(QStringLiteral(":/icons")).entryList(QDir::Files)) {
        const qsizetype dash = name.lastIndexOf(u'-');
        const qsizetype dot = name.lastIndexOf(u'.');
        bool ok = false;
        const int size =
            dash >= 0 && dot > dash ? name.mid(dash + 1, dot - dash - 1).toInt(&ok) : 0;
        if (ok && size > 0 && name == PathFor(size).mid(8))
            sizes.push_back(size);
    }
    std::sort(sizes.begin(), sizes.end());
    return sizes;
}

QImage AppIconImage(int size) {
    // Stored uncompressed, so the pixels are used where they lie: nothing is
    // decoded, and no image plugin is asked for.
    const QResource resource(PathFor(size));
    if (!resource.isValid() || resource.compressionAlgorithm() != QResource::NoCompression ||
        resource.size() != qint64(size) * size * 4)
        return {};
    const QImage image(resource.data(), size, size, size * 4, QImage::Format_ARGB32_Premultiplied);
    // The raster engine reads whole pixels: data the resource compiler left
    // unaligned is copied once.
    return reinterpret_cast<quintptr>(resource.data()) % alignof(quint32) == 0 ? image
                                                                               : image.copy();
}

QIcon AppIcon() {
    QIcon icon;
    for (int size : AppIconSizes())
        if (const QImage image = AppIconImage(size); !image.isNull())
            icon.addPixmap(QPixmap::fromImage(image));
    return icon;
}
