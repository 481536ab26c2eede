// The window icon's sizes are drawn from the SVG at build time; a size that
// came out empty or scaled wrongly leaves the window with a blank icon.
#include "dialog/AppIcon.h"

#include <QApplication>
#include <QImage>
#include <QtTest>

class TestIcon : public QObject {
    Q_OBJECT
private slots:
    void rendersAtDesktopSizes() {
        for (int size : {16, 32, 48, 128}) {
            const QImage image = AppIconImage(size);
            QCOMPARE(image.size(), QSize(size, size));
            // The board fills the middle: an opaque pixel there means it was drawn.
            QVERIFY2(qAlpha(image.pixel(size / 2, size / 2)) > 0,
                     qPrintable(QString::number(size)));
        }
    }
};

QTEST_MAIN(TestIcon)
#include "tst_icon.moc"
