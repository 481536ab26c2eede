// Renders the main window, the four pages of the sheet and the small dialogs
// to PNG files in $TARNWICK_PICTURES_DIR, against the test back end.
#include "VmTestUtil.h"

#include "ModalDriver.h"
#include "PeriDlg.h"
#include "TapDrvVerDlg.h"
#include "TapNewNameDlg.h"
#include "TarnwickDlg.h"
#include "TestBackendControl.h"

#include <QDialog>
#include <QDir>
#include <QPixmap>
#include <QTabWidget>
#include <QTest>
#include <cstring>
#include <memory>

using namespace VmTest;

namespace {

template <size_t N> void Put(char (&field)[N], const char* text) {
    std::strncpy(field, text, N - 1);
    field[N - 1] = '\0';
}

void Save(QWidget* widget, const QString& name) {
    const QString dir = qEnvironmentVariable("TARNWICK_PICTURES_DIR", QStringLiteral("."));
    QVERIFY(QDir().mkpath(dir));
    const QPixmap picture = widget->grab();
    QVERIFY2(!picture.isNull(), qPrintable(name));
    QVERIFY2(picture.save(dir + QLatin1Char('/') + name + QStringLiteral(".png")),
             qPrintable(name));
}

void Close(QWidget* modal) {
    if (auto* dialog = qobject_cast<QDialog*>(modal))
        dialog->reject();
}

// The machine the pictures show: every page has something in it.
EmulatorOptions ShowcaseRecord() {
    EmulatorOptions r = MakeRecord("debian-armhf");
    r.general.memSize = 256;
    Put(r.general.memType, "MB");
    Put(r.general.tapAdapter, "tap0");
    r.disk.sdSize = 64;
    Put(r.disk.sdMemType, "MB");
    Put(r.disk.sdFile, "img/sd.img");
    r.peri.serialEnable = 1;
    Put(r.peri.serialType, "file");
    Put(r.peri.serialParam, "serial.txt");
    r.peri.periCount = 2;
    Put(r.peri.peris[0].device, "virtio-rng-device");
    Put(r.peri.peris[1].device, "virtio-net-device");
    Put(r.peri.peris[1].param, "netdev=net0");
    Put(r.os.osImage, "boot/vmlinuz-6.1.0-armmp");
    Put(r.os.initrdImage, "boot/initrd.img");
    Put(r.os.cmdLine, "console=ttyAMA0 panic=-1");
    return r;
}

} // namespace

class RenderPictures : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { QVERIFY(InitProcess()); }
    void init() {
        ResetBackend();
        TestBackend::SetList("GetMemType", {"KB", "MB", "GB"});
        TestBackend::SetList("GetSerialType", {"file", "socket", "pty"});
        TestBackend::SetList("GetPeriType",
                             {"virtio-rng-device", "virtio-net-device", "virtio-blk-device"});
        TestBackend::SetList("RefreshTapNetWork", {"tap0", "tap1"});
    }

    void mainWindowAndSheet() {
        ScriptMachines({"busybox-test", "debian-armhf", "router", "sensor-node"});
        TestBackend::SetRecord("debian-armhf", ShowcaseRecord());
        auto dlg = std::make_unique<CTarnwickDlg>();
        dlg->Open();
        ClickRow(*dlg, 1);
        Save(dlg.get(), QStringLiteral("main-window"));

        int pages = 0;
        OnNextModal([&](QWidget* sheet) {
            auto* tabs = sheet->findChild<QTabWidget*>();
            if (tabs) {
                static const char* const names[] = {"page-general", "page-disk", "page-peripherals",
                                                    "page-os"};
                for (int i = 0; i < tabs->count() && i < 4; ++i) {
                    tabs->setCurrentIndex(i);
                    QApplication::processEvents();
                    Save(sheet, QString::fromLatin1(names[i]));
                    ++pages;
                }
            }
            Close(sheet);
        });
        dlg->OnEditVm();
        QCOMPARE(pages, 4);

        TestBackend::SetStart("debian-armhf", 0,
                              "qemu-system-arm: could not load kernel 'boot/vmlinuz-6.1.0-armmp'\n"
                              "The emulator ended at once; its output is in debian-armhf.log.");
        bool report = false;
        OnNextModal([&](QWidget* modal) {
            Save(modal, QStringLiteral("start-error"));
            report = true;
            Close(modal);
        });
        dlg->OnStartVm();
        QVERIFY(report);
    }

    void smallDialogs() {
        bool shown = false;
        const auto grabAs = [&](const QString& name) {
            shown = false;
            OnNextModal([&shown, name](QWidget* modal) {
                Save(modal, name);
                shown = true;
                Close(modal);
            });
        };
        grabAs(QStringLiteral("peripheral-dialog"));
        CPeriDlg(std::string("virtio-net-device"), std::string("netdev=net0")).DoModal();
        QVERIFY(shown);
        grabAs(QStringLiteral("tap-driver-dialog"));
        CTapDrvVerDlg().DoModal();
        QVERIFY(shown);
        grabAs(QStringLiteral("tap-name-dialog"));
        CTapNewNameDlg().DoModal();
        QVERIFY(shown);
    }
};

QTEST_MAIN(RenderPictures)
#include "render_pictures.moc"
