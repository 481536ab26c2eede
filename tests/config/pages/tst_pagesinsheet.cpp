// The Disk, Peripherals and OS pages inside the configuration sheet.
#include "../ConfigFixture.h"
#include "config/EmulPropertyPage.h"
#include "config/EmulatorDlg.h"
#include "config/EmulatorPeri.h"
#include "config/PeriListCtrl.h"
#include "dialog/TemplateDialog.h"

#include <QRadioButton>
#include <QTabWidget>
#include <functional>

using namespace config_test;

namespace {
enum { kGeneral, kDisk, kPeri, kOs };

// Blocks a back end may deliver: fields without NUL, a count outside the format.
EmulatorOptions HostileRecord() {
    EmulatorOptions rec = NamedRecord("vm1");
    std::memset(&rec.disk, 'd', sizeof rec.disk);
    std::memset(&rec.peri, 'p', sizeof rec.peri);
    rec.peri.periCount = 1000;
    std::memset(&rec.os, 'o', sizeof rec.os);
    return rec;
}

} // namespace

class TestPagesInSheet : public QObject {
    Q_OBJECT

    ScratchProgram m_program;
    ProgramDirFiles m_files;

    // Runs the sheet on `rec`; `drive` acts inside it and must end it.
    int RunSheet(EmulatorOptions& rec, std::function<void(CEmulatorDlg*)> drive) {
        CEmulatorDlg sheet("Edit", &rec);
        OnNextModal([&](QWidget*) {
            drive(&sheet);
            if (sheet.isVisible())
                Button(&sheet, IDCANCEL)->click();
        });
        return sheet.DoModal();
    }

private slots:
    void initTestCase() {
        QVERIFY(m_files.IsValid());
        QVERIFY(m_files.Touch("boot/zImage"));
        QVERIFY(m_files.Touch("boot/initrd"));
        QVERIFY(m_files.Touch("img/sd.img"));
        QVERIFY(m_program.Start());
    }
    void cleanupTestCase() { m_program.Stop(); }
    void init() {
        TestBackend::Reset();
        TestBackend::SetList("GetMemType", {"KB", "MB"});
        TestBackend::SetList("GetSerialType", {"COM"});
        TestBackend::SetList("GetPeriType", {"LED"});
    }

    void pagesNeverOpenedKeepTheirBlocks() {
        EmulatorOptions rec = HostileRecord();
        const EmulatorOptions before = rec;
        const int result = RunSheet(rec, [](CEmulatorDlg* sheet) { Button(sheet, IDOK)->click(); });
        QCOMPARE(result, IDOK);
        QCOMPARE(BytesOf(rec.disk), BytesOf(before.disk));
        QCOMPARE(BytesOf(rec.peri), BytesOf(before.peri));
        QCOMPARE(BytesOf(rec.os), BytesOf(before.os));
    }

    void openedPagesOfAHostileRecordStayInTheFormat() {
        EmulatorOptions rec = HostileRecord();
        const int result = RunSheet(rec, [this](CEmulatorDlg* sheet) {
            sheet->SetActivePage(kDisk);
            sheet->SetActivePage(kPeri);
            sheet->SetActivePage(kOs);
            auto* os = sheet->Pages()[kOs];
            SetText(os, res::Os::OsImage::id, m_files.Rel("boot/zImage"));
            SetText(os, res::Os::InitrdImage::id, m_files.Rel("boot/initrd"));
            Button(sheet, IDOK)->click();
        });
        QCOMPARE(result, IDOK);
        QCOMPARE(rec.peri.periCount, 16);
        QCOMPARE(rec.peri.peris[15].device[259], '\0');
        QCOMPARE(GetField(rec.peri.peris[0].device), std::string(259, 'p'));
        QCOMPARE(rec.disk.sdSize, 0x64646464); // "dddd" is a size the box shows and takes back
        QCOMPARE(FromLocal(GetField(rec.os.osImage)), m_files.Rel("boot/zImage"));
    }

    void diskPageRefusesToBeLeftWithAMissingImage() {
        EmulatorOptions rec = NamedRecord("vm1");
        const EmulatorOptions before = rec;
        QString message;
        int shownAfter = -1;
        const int result = RunSheet(rec, [&](CEmulatorDlg* sheet) {
            QVERIFY(sheet->SetActivePage(kDisk));
            auto* disk = sheet->Pages()[kDisk];
            Click(disk, res::Disk::SdFileChoice::id);
            SetText(disk, res::Disk::SdFile::id, m_files.Rel("gone.img"));
            AcceptNextMessageBox(&message);
            sheet->SetActivePage(kOs);
            AcceptNextMessageBox();
            Button(sheet, IDOK)->click(); // OK validates the current page too
            shownAfter = sheet->ActivePage();
            Button(sheet, IDCANCEL)->click();
        });
        QCOMPARE(result, IDCANCEL);
        QCOMPARE(message, QString("SD File no exist!!!"));
        QCOMPARE(shownAfter, int(kDisk));
        QCOMPARE(BytesOf(rec), BytesOf(before));
    }

    void osPageChecksOnOkAndThenWrites() {
        EmulatorOptions rec = NamedRecord("vm1");
        QString message;
        bool stayedOpen = false;
        const int result = RunSheet(rec, [&](CEmulatorDlg* sheet) {
            QVERIFY(sheet->SetActivePage(kOs));
            AcceptNextMessageBox(&message);
            Button(sheet, IDOK)->click();
            stayedOpen = sheet->isVisible() && sheet->ActivePage() == kOs;
            auto* os = sheet->Pages()[kOs];
            SetText(os, res::Os::OsImage::id, m_files.Rel("boot/zImage"));
            SetText(os, res::Os::InitrdImage::id, m_files.Rel("boot/initrd"));
            SetText(os, res::Os::CmdLine::id, "console=ttyS0");
            Button(sheet, IDOK)->click();
        });
        QCOMPARE(message, QString("please choice OS file path"));
        QVERIFY(stayedOpen);
        QCOMPARE(result, IDOK);
        QCOMPARE(FromLocal(GetField(rec.os.osImage)), m_files.Rel("boot/zImage"));
        QCOMPARE(GetField(rec.os.cmdLine), std::string("console=ttyS0"));
    }

    // Return, Enter and Escape neither break the line nor end the sheet.
    void keysInTheCommandLine() {
        EmulatorOptions rec = NamedRecord("vm1");
        QString text;
        bool open = false;
        RunSheet(rec, [&](CEmulatorDlg* sheet) {
            QVERIFY(sheet->SetActivePage(kOs));
            QWidget* cmd = GetDlgItem(sheet->Pages()[kOs], res::Os::CmdLine::id);
            SetText(sheet->Pages()[kOs], res::Os::CmdLine::id, "console=ttyS0");
            cmd->setFocus();
            QTest::keyClick(cmd, Qt::Key_End, Qt::ControlModifier);
            QTest::keyClick(cmd, Qt::Key_Return);
            QTest::keyClick(cmd, Qt::Key_Enter);
            QTest::keyClick(cmd, Qt::Key_Enter, Qt::KeypadModifier);
            QTest::keyClick(cmd, Qt::Key_Escape);
            QCoreApplication::processEvents();
            text = Text(sheet->Pages()[kOs], res::Os::CmdLine::id);
            open = sheet->isVisible();
        });
        QCOMPARE(text, QString("console=ttyS0"));
        QVERIFY(open);
    }

    // Every browse button: Cancel keeps the box; a choice beneath the program
    // is stored relative to it, from a save dialog where a new image is named.
    void browseButtons_data() {
        Columns<int, int, int, bool, QString>("page", "button", "edit", "save", "file");
        using D = res::Disk;
        using O = res::Os;
        Row("SD file", int(kDisk), D::SdBrowseFile::id, D::SdFile::id, false, "img/sd.img");
        Row("SD save path", int(kDisk), D::SdBrowseSave::id, D::SdSavePath::id, true,
            "img/new.img");
        Row("hard-disk file", int(kDisk), D::HdBrowseFile::id, D::HdFile::id, false, "img/sd.img");
        Row("hard-disk save path", int(kDisk), D::HdBrowseSave::id, D::HdSavePath::id, true,
            "img/new.img");
        Row("OS image", int(kOs), O::BrowseOs::id, O::OsImage::id, false, "boot/zImage");
        Row("initrd image", int(kOs), O::BrowseInitrd::id, O::InitrdImage::id, false,
            "boot/initrd");
    }
    void browseButtons() {
        auto [page, button, edit, save, file] =
            Fetch<int, int, int, bool, QString>("page", "button", "edit", "save", "file");
        EmulatorOptions rec = NamedRecord("vm1");
        SetField(rec.disk.sdFile, "x"); // in "File:", so the file browse buttons are enabled
        SetField(rec.disk.hdFile, "x");
        if (save)
            rec.disk.sdSize = rec.disk.hdSize = 1;
        QString before, cancelled, chosen;
        QFileDialog::AcceptMode mode = save ? QFileDialog::AcceptOpen : QFileDialog::AcceptSave;
        RunSheet(rec, [&](CEmulatorDlg* sheet) {
            QVERIFY(sheet->SetActivePage(page));
            QWidget* p = sheet->Pages()[page];
            before = Text(p, edit);
            OnNextModal([](QWidget* modal) { modal->close(); });
            Click(p, button);
            cancelled = Text(p, edit);
            ChooseInNextFileDialog(m_files.Abs(file), &mode);
            Click(p, button);
            chosen = Text(p, edit);
        });
        QCOMPARE(cancelled, before);
        QCOMPARE(mode, save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
        QCOMPARE(chosen, m_files.Rel(file));
        QVERIFY(!m_files.Rel(file).startsWith('/'));
    }

    void peripheralsRoundTrip() {
        // Listed names that are no UTF-8 come back byte for byte.
        TestBackend::SetList("GetMemType", {"K\xE4"});
        TestBackend::SetList("GetSerialType", {"COM\xE4"});
        TestBackend::SetList("GetPeriType", {"LED\xE4"});
        EmulatorOptions rec = NamedRecord("vm1");
        const int result = RunSheet(rec, [&](CEmulatorDlg* sheet) {
            QVERIFY(sheet->SetActivePage(kPeri));
            auto* peri = static_cast<CEmulatorPeri*>(sheet->Pages()[kPeri]);
            Click(peri, res::Peripherals::SerialEnable::id);
            OnNextModal([](QWidget* modal) {
                SetText(modal, res::Peripheral::Param::id, "gpio=4");
                Click(modal, res::Peripheral::Ok::id);
            });
            Click(peri, res::Peripherals::Add::id);
            // The page keeps its rows across a tab switch.
            QVERIFY(sheet->SetActivePage(kDisk));
            Button(sheet, IDOK)->click();
        });
        QCOMPARE(result, IDOK);
        QCOMPARE(rec.peri.serialEnable, 1);
        QCOMPARE(GetField(rec.peri.serialType), std::string("COM\xE4"));
        QCOMPARE(rec.peri.periCount, 1);
        QCOMPARE(GetField(rec.peri.peris[0].device), std::string("LED\xE4"));
        QCOMPARE(GetField(rec.peri.peris[0].param), std::string("gpio=4"));
        QCOMPARE(GetField(rec.disk.sdMemType), std::string("K\xE4"));
        QCOMPARE(GetField(rec.disk.hdMemType), std::string("K\xE4"));
    }
};

QTEST_MAIN(TestPagesInSheet)
#include "tst_pagesinsheet.moc"
