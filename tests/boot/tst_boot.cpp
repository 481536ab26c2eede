// The whole road: a new machine made in the real main window with our own
// back end, started, and a Debian armhf kernel booting its initrd to a shell
// that prints a marker on the serial console and powers the machine off.
// The kernel and busybox come from scripts/boot-assets.sh.
#include "Initramfs.h"
#include "VmTestUtil.h"

#include "ModalDriver.h"
#include "RunningEmulators.h"
#include "TestRecords.h"
#include "app/backend/EmulatorLib.h"
#include "config/RecordText.h"
#include "lang/LanguageManager.h"
#include "res/DialogIds.h"
#include "vmlist/TarnwickDlg.h"
#include "vmlist/VmListCtrl.h"

#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDialog>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPointer>
#include <QStandardPaths>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTest>
#include <cstring>
#include <memory>
#include <optional>

using namespace VmTest;

namespace {

const char* const kMachine = "armhf boot";
constexpr int kBootTimeoutMs = 120000;

template <class T> T* Control(QWidget* window, int id) {
    for (T* w : window->findChildren<T*>())
        if (GetDlgCtrlID(w) == id && w->isVisible())
            return w;
    return nullptr;
}

// Chooses `text` as a user would, so the page sees its activated signal.
bool Choose(QWidget* page, int id, const QString& text) {
    auto* combo = Control<QComboBox>(page, id);
    const int index = combo ? combo->findText(text) : -1;
    if (index < 0)
        return false;
    combo->setCurrentIndex(index);
    emit combo->activated(index);
    return true;
}

bool Type(QWidget* page, int id, const QString& text) {
    if (auto* edit = Control<QLineEdit>(page, id)) {
        edit->setText(text);
        return true;
    }
    if (auto* box = Control<QPlainTextEdit>(page, id)) {
        box->setPlainText(text);
        return true;
    }
    return false;
}

} // namespace

class TestBoot : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void cleanupTestCase();
    void newMachineBootsFromTheMainWindow();

private:
    void FillSheet(QWidget* sheet, QString* problem);
    QString Path(const QString& name) const { return m_dir.filePath(name); }

    QTemporaryDir m_dir;
    QString m_assets;
    std::string m_runFile;
};

void TestBoot::initTestCase() {
    m_assets = qEnvironmentVariable("TARNWICK_BOOT_ASSETS", QStringLiteral(TARNWICK_BOOT_ASSETS));
    const QDir assets(m_assets);
    if (!assets.exists(QStringLiteral("vmlinuz")) || !assets.exists(QStringLiteral("busybox"))) {
        QFile why(assets.filePath(QStringLiteral("MISSING")));
        const QString reason = why.open(QIODevice::ReadOnly)
                                   ? QString::fromUtf8(why.readAll().trimmed())
                                   : QStringLiteral("scripts/boot-assets.sh has not run");
        QSKIP(qPrintable(QStringLiteral("no armhf kernel and busybox in %1 (%2); run "
                                        "scripts/boot-assets.sh %1 as root")
                             .arg(m_assets, reason)));
    }
    if (QStandardPaths::findExecutable(QStringLiteral("qemu-system-arm")).isEmpty())
        QSKIP("qemu-system-arm is not installed (Debian package qemu-system-arm)");

    QVERIFY(m_dir.isValid());
    // Our back end keeps machines and its cache of QEMU's choices here, so
    // the run neither sees nor changes the user's own.
    qputenv("TARNWICK_STORE", Path(QStringLiteral("store")).toLocal8Bit());
    qputenv("XDG_CACHE_HOME", Path(QStringLiteral("cache")).toLocal8Bit());
    m_runFile = Path(QStringLiteral("store/armhf%20boot.run")).toStdString();

    const QByteArray initrd = MarkerInitramfs(assets.filePath(QStringLiteral("busybox")));
    QVERIFY(!initrd.isEmpty());
    QVERIFY(WriteBytes(ToStd(Path(QStringLiteral("initrd.cpio"))), Bytes(initrd)));

    LoadEmulatorLibraryFrom(BREVANTIX_LIBRARY_PATH);
    QVERIFY2(g_hEmulatorLib, BREVANTIX_LIBRARY_PATH);
    CreateLanguageManager("English", Path(QStringLiteral("English.lng")).toStdString());
    QVERIFY(g_pLangManager);
}

void TestBoot::cleanupTestCase() {
    if (!m_runFile.empty())
        bxtest::EndEmulator(m_runFile);
}

void TestBoot::FillSheet(QWidget* sheet, QString* problem) {
    auto* tabs = sheet->findChild<QTabWidget*>();
    if (!tabs || tabs->count() != 4) {
        *problem = QStringLiteral("the sheet has no four pages");
        return;
    }
    const auto page = [tabs](int index) -> QWidget* {
        tabs->setCurrentIndex(index);
        // The page check on leaving runs queued.
        QApplication::processEvents();
        QApplication::processEvents();
        return tabs->currentIndex() == index ? tabs->currentWidget() : nullptr;
    };
    const auto fail = [problem](const QString& what) {
        if (problem->isEmpty())
            *problem = what;
    };

    QWidget* general = tabs->currentWidget();
    if (!Type(general, res::General::Name::id, QString::fromUtf8(kMachine)))
        fail(QStringLiteral("no name box"));
    if (!Choose(general, res::General::Target::id, QStringLiteral("virt (arm)")))
        fail(QStringLiteral("the back end offers no target \"virt (arm)\""));
    if (!Choose(general, res::General::Cpu::id, QStringLiteral("cortex-a15")))
        fail(QStringLiteral("no CPU cortex-a15 for virt (arm)"));
    if (!Type(general, res::General::MemSize::id, QStringLiteral("256")) ||
        !Choose(general, res::General::MemType::id, QStringLiteral("MB")))
        fail(QStringLiteral("no memory boxes"));

    QWidget* peripherals = page(2);
    if (!peripherals) {
        fail(QStringLiteral("the General page was not left"));
        return;
    }
    auto* serial = Control<QCheckBox>(peripherals, res::Peripherals::SerialEnable::id);
    if (serial && !serial->isChecked())
        serial->click();
    if (!serial || !Choose(peripherals, res::Peripherals::SerialType::id, QStringLiteral("file")) ||
        !Type(peripherals, res::Peripherals::SerialParam::id, Path(QStringLiteral("serial.txt"))))
        fail(QStringLiteral("cannot send the serial console to a file"));

    QWidget* os = page(3);
    if (!os) {
        fail(QStringLiteral("the Peripherals page was not left"));
        return;
    }
    if (!Type(os, res::Os::OsImage::id, QDir(m_assets).filePath(QStringLiteral("vmlinuz"))) ||
        !Type(os, res::Os::InitrdImage::id, Path(QStringLiteral("initrd.cpio"))) ||
        !Type(os, res::Os::CmdLine::id, QStringLiteral("console=ttyAMA0 panic=-1")))
        fail(QStringLiteral("no OS boxes"));
}

void TestBoot::newMachineBootsFromTheMainWindow() {
    CTarnwickDlg dlg;
    dlg.Open();
    QCOMPARE(Rows(dlg), QStringList());

    // A page that refuses or a failed start ends the test with its text
    // instead of waiting for the timeout.
    UnexpectedModalGuard unexpected;
    QString problem;
    bool sheetSeen = false;
    OnNextModal([&](QWidget* sheet) {
        sheetSeen = true;
        FillSheet(sheet, &problem);
        QPointer<QWidget> open(sheet);
        if (problem.isEmpty()) {
            if (QAbstractButton* ok = Button(sheet, 1))
                ok->click();
        }
        QApplication::processEvents();
        if (open && open->isVisible())
            qobject_cast<QDialog*>(open.data())->reject();
    });
    Button(&dlg, res::Main::New::id)->click();
    QVERIFY(sheetSeen);
    QVERIFY2(problem.isEmpty(), qPrintable(problem));
    QVERIFY2(!unexpected.Opened(), qPrintable(unexpected.Text()));
    QCOMPARE(Rows(dlg), QStringList{QStringLiteral("armhf boot|arm|virt (arm)|cortex-a15")});

    // What the pages stored is what QEMU is started with.
    EmulatorOptions stored = ZeroRecord();
    QVERIFY(Emu::GetEmulatorOptions(kMachine, &stored) != 0);
    QCOMPARE(stored.general.memSize, 256);
    QCOMPARE(GetField(stored.general.memType), std::string("MB"));
    QCOMPARE(stored.peri.serialEnable, 1);
    QCOMPARE(GetField(stored.peri.serialType), std::string("file"));
    QCOMPARE(GetField(stored.os.cmdLine), std::string("console=ttyAMA0 panic=-1"));

    ClickRow(dlg, 0);
    QVERIFY(ButtonEnabled(dlg, res::Main::Start::id));
    QElapsedTimer clock;
    clock.start();
    Button(&dlg, res::Main::Start::id)->click();
    QTest::qWait(200);
    QVERIFY2(!unexpected.Opened(), qPrintable(unexpected.Text()));
    QCOMPARE(dlg.ListCtrl()->RunIndicator(0), VmRunState::Running);

    const QString serial = Path(QStringLiteral("serial.txt"));
    QByteArray console;
    while (clock.elapsed() < kBootTimeoutMs) {
        QFile file(serial);
        if (file.open(QIODevice::ReadOnly))
            console = file.readAll();
        if (console.contains(kBootMarker))
            break;
        QTest::qWait(100);
    }
    QVERIFY2(console.contains(kBootMarker),
             qPrintable(QStringLiteral("no marker after %1 s; the console ends with:\n%2")
                            .arg(clock.elapsed() / 1000)
                            .arg(QString::fromUtf8(console.right(2000)))));
    qInfo("marker on the serial console %.1f s after start", clock.elapsed() / 1000.0);

    // poweroff ends the emulator: the start left nothing running, and the
    // running mark follows within a second, with nobody touching the window.
    QElapsedTimer end;
    end.start();
    while (bxtest::EmulatorPid(m_runFile) && end.elapsed() < 30000)
        QTest::qWait(20);
    QVERIFY2(!bxtest::EmulatorPid(m_runFile),
             "the emulator still runs after the guest powered off");
    QTRY_VERIFY_WITH_TIMEOUT(dlg.ListCtrl()->RunIndicator(0) != VmRunState::Running, 1000);
}

QTEST_MAIN(TestBoot)
#include "tst_boot.moc"
