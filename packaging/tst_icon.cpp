// The window icon is an SVG in the resources: without the SVG image plugin
// it loads as a null icon and the window manager shows a generic one.
#include <QApplication>
#include <QIcon>
#include <QImage>
#include <QPixmap>
#include <QtTest>

class TestIcon : public QObject {
    Q_OBJECT
private slots:
    void rendersAtDesktopSizes() {
        Q_INIT_RESOURCE(res);
        const QIcon icon(QStringLiteral(":/icons/tarnwick.svg"));
        QVERIFY2(!icon.isNull(), "icon not loaded: is the SVG plugin (libqt6svg6) installed?");
        for (int size : {16, 32, 48, 256}) {
            const QImage image = icon.pixmap(size).toImage();
            QCOMPARE(image.width(), size);
            // The board fills the middle: an opaque pixel there means it was drawn.
            QVERIFY2(qAlpha(image.pixel(size / 2, size / 2)) > 0,
                     qPrintable(QString::number(size)));
        }
    }
};

QTEST_MAIN(TestIcon)
#include "tst_icon.moc"
