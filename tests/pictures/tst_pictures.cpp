// Renders the main window, the four pages of the sheet and the small dialogs
// to PNG files in $TARNWICK_PICTURES_DIR, against the test back end.
#include "VmTestUtil.h"

#include "ModalDriver.h"
#include "TestBackendControl.h"
#include "config/PeriDlg.h"
#include "config/RecordText.h"
#include "config/TapDrvVerDlg.h"
#include "config/TapNewNameDlg.h"
#include "vmlist/TarnwickDlg.h"

#include <QDialog>
#include <QDir>
#include <QPixmap>
#include <QTabWidget>
#include <QTest>
#include <memory>
#include <optional>

using namespace VmTest;

namespace {

void Save(QWidget* widget, const QString& name) {
    const QString dir = qEnvironmentVariable("TARNWICK_PICTURES_DIR", QStringLiteral("."));
    QVERIFY(QDir().mkpath(dir));
    const QPixmap picture = widget->grab();
    QVERIFY2(!picture.isNull(), qPrintable(name));
    QVERIFY2(picture.save(dir + QLatin1Char('/') + name + QStringLiteral(".png")),
             qPrintable(name));
}

QString KindOf(QWidget* modal) {
    return QString::fromLatin1(modal->metaObject()->className());
}

void Close(QWidget* modal) {
    if (auto* dialog = qobject_cast<QDialog*>(modal))
        dialog->reject();
}

// The machine the pictures show: every page has something in it.
EmulatorOptions ShowcaseRecord() {
    EmulatorOptions r = MakeRecord("debian-armhf");
    r.general.memSize = 256;
    SetField(r.general.memType, "MB");
    SetField(r.general.tapAdapter, "tap0");
    r.disk.sdSize = 64;
    SetField(r.disk.sdMemType, "MB");
    SetField(r.disk.sdFile, "img/sd.img");
    r.peri.serialEnable = 1;
    SetField(r.peri.serialType, "file");
    SetField(r.peri.serialParam, "serial.txt");
    r.peri.periCount = 2;
    SetField(r.peri.peris[0].device, "virtio-rng-device");
    SetField(r.peri.peris[1].device, "virtio-net-device");
    SetField(r.peri.peris[1].param, "netdev=net0");
    SetField(r.os.osImage, "boot/vmlinuz-6.1.0-armmp");
    SetField(r.os.initrdImage, "boot/initrd.img");
    SetField(r.os.cmdLine, "console=ttyAMA0 panic=-1");
    return r;
}

} // namespace

class RenderPictures : public QObject {
    Q_OBJECT

    // A window no step waits for (a page refusing to be left, an error box)
    // is closed and fails the test with its text, rather than stalling the run.
    std::optional<UnexpectedModalGuard> m_guard;

    QString Unexpected() const { return QStringLiteral("unexpected window: ") + m_guard->Text(); }

private slots:
    void initTestCase() { QVERIFY(InitProcess()); }
    void init() {
        ResetBackend();
        TestBackend::SetList("GetMemType", {"KB", "MB", "GB"});
        TestBackend::SetList("GetSerialType", {"file", "socket", "pty"});
        TestBackend::SetList("GetPeriType",
                             {"virtio-rng-device", "virtio-net-device", "virtio-blk-device"});
        TestBackend::SetList("RefreshTapNetWork", {"tap0", "tap1"});
        m_guard.emplace();
    }
    void cleanup() {
        if (!QTest::currentTestFailed())
            QVERIFY2(!m_guard->Opened(), qPrintable(Unexpected()));
    }

    void mainWindowAndSheet() {
        ScriptMachines({"busybox-test", "debian-armhf", "router", "sensor-node"});
        TestBackend::SetRecord("debian-armhf", ShowcaseRecord());
        auto dlg = OpenWindow();
        ClickRow(*dlg, 1);
        Save(dlg.get(), QStringLiteral("main-window"));

        int pages = 0;
        OnNextModal([&](QWidget* sheet) {
            static const char* const names[] = {"page-general", "page-disk", "page-peripherals",
                                                "page-os"};
            auto* tabs = sheet->findChild<QTabWidget*>();
            for (int i = 0; tabs && i < tabs->count() && i < 4; ++i) {
                tabs->setCurrentIndex(i);
                // The sheet decides on a switch in a queued call.
                QApplication::processEvents();
                if (m_guard->Opened() || tabs->currentIndex() != i)
                    break;
                Save(sheet, QString::fromLatin1(names[i]));
                ++pages;
            }
            Close(sheet);
        });
        dlg->OnEditVm();
        QVERIFY2(!m_guard->Opened(), qPrintable(Unexpected()));
        QCOMPARE(pages, 4);

        TestBackend::SetStart("debian-armhf", 0,
                              "qemu-system-arm: could not load kernel 'boot/vmlinuz-6.1.0-armmp'\n"
                              "The emulator ended at once; its output is in debian-armhf.log.");
        QString report;
        OnNextModal([&](QWidget* modal) {
            report = KindOf(modal);
            Save(modal, QStringLiteral("start-error"));
            Close(modal);
        });
        dlg->OnStartVm();
        QCOMPARE(report, QStringLiteral("CEmulatorErrDlg"));
    }

    void smallDialogs() {
        QString shown;
        const auto grabAs = [&](const QString& name) {
            shown.clear();
            OnNextModal([&shown, name](QWidget* modal) {
                shown = KindOf(modal);
                Save(modal, name);
                Close(modal);
            });
        };
        grabAs(QStringLiteral("peripheral-dialog"));
        CPeriDlg(std::string("virtio-net-device"), std::string("netdev=net0")).DoModal();
        QCOMPARE(shown, QStringLiteral("CPeriDlg"));
        grabAs(QStringLiteral("tap-driver-dialog"));
        CTapDrvVerDlg().DoModal();
        QCOMPARE(shown, QStringLiteral("CTapDrvVerDlg"));
        grabAs(QStringLiteral("tap-name-dialog"));
        CTapNewNameDlg().DoModal();
        QCOMPARE(shown, QStringLiteral("CTapNewNameDlg"));
    }
};

QTEST_MAIN(RenderPictures)
#include "tst_pictures.moc"
