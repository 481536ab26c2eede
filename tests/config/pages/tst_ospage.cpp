// The OS page on its own (Create), on the OsOptions block of a record.
#include "../ConfigFixture.h"
#include "config/EmulatorOS.h"

#include <QClipboard>
#include <QFileDialog>
#include <QGuiApplication>

using namespace config_test;

namespace {
using Ids = res::Os;
} // namespace

using OsHarness = PageHarness<CEmulatorOS, &EmulatorOptions::os>;

class TestOsPage : public QObject, private OsHarness {
    Q_OBJECT

    ProgramDirFiles m_files;

private slots:
    void initTestCase() {
        QVERIFY(m_files.IsValid());
        QVERIFY(m_files.Touch("boot/zImage"));
        QVERIFY(m_files.Touch("boot/initrd.img"));
        QVERIFY(m_program.Start());
    }
    void cleanupTestCase() { Stop(); }
    void init() { TestBackend::Reset(); }
    void cleanup() {
        m_page.reset();
        QDir::setCurrent(QCoreApplication::applicationDirPath());
    }

    void loadsAndStoresTheBlock() {
        EmulatorOptions rec = ZeroRecord();
        SetField(rec.os.osImage, "boot/zImage");
        SetField(rec.os.initrdImage, "boot/initrd.img");
        SetField(rec.os.cmdLine, "console=ttyAMA0 root=/dev/ram");
        CEmulatorOS* page = Open(rec);
        QVERIFY(GetDlgItem<Ids::CmdLine>(page));
        QCOMPARE(Text(page, Ids::OsImage::id), QString("boot/zImage"));
        QCOMPARE(Text(page, Ids::InitrdImage::id), QString("boot/initrd.img"));
        QCOMPARE(Text(page, Ids::CmdLine::id), QString("console=ttyAMA0 root=/dev/ram"));
        const QByteArray before = BytesOf(m_rec.os);
        m_page->OnOK();
        QCOMPARE(BytesOf(m_rec.os), before);
        QVERIFY(TestBackend::CallNames().empty()); // the page needs nothing of the back end
    }

    void checksRunInOrder_data() {
        // message: empty when accepted.
        Columns<QString, QString, QString>("os", "initrd", "message");
        const QString os = m_files.Rel("boot/zImage");
        const QString initrd = m_files.Rel("boot/initrd.img");
        const QString missing = m_files.Rel("boot/missing");
        Row("both empty", "", "", "please choice OS file path");
        Row("OS empty", "", initrd, "please choice OS file path");
        Row("missing OS, empty initrd", missing, "", "please choice Initrd file path");
        Row("missing OS", missing, initrd, "OS file not exist");
        Row("both missing", missing, missing, "OS file not exist");
        Row("missing initrd", os, missing, "Initrd file not exist");
        Row("both exist", os, initrd, "");
        Row("absolute and wildcard", m_files.Abs("boot/zImage"), m_files.Rel("boot/*.img"), "");
        Row("directory", m_files.Rel("boot"), initrd, "");
    }
    void checksRunInOrder() {
        auto [os, initrd, message] = Fetch<QString, QString, QString>("os", "initrd", "message");
        CEmulatorOS* page = Open(ZeroRecord());
        SetText(page, Ids::OsImage::id, os);
        SetText(page, Ids::InitrdImage::id, initrd);
        // As if a file dialog had moved the current directory.
        QVERIFY(QDir::setCurrent(QDir::rootPath()));
        if (message.isEmpty()) {
            UnexpectedModalGuard guard;
            QVERIFY(m_page->OnKillActive());
            QVERIFY(!guard.Opened());
            return;
        }
        QString shown = "<no message>";
        AcceptNextMessageBox(&shown);
        QVERIFY(!m_page->OnKillActive());
        QCOMPARE(shown, message);
    }

    void textsAreCutToTheirFields_data() {
        Columns<QByteArray, QByteArray, QByteArray, QByteArray>("image", "cmdLine", "storedImage",
                                                                "storedCmdLine");
        const QByteArray longImage(300, 'i');
        const QByteArray longCmd(1100, 'c');
        Row("over the bounds", longImage, longCmd, longImage.left(260), longCmd.left(1024));
        Row("at the bounds", longImage.left(260), longCmd.left(1024), longImage.left(260),
            longCmd.left(1024));
        const QByteArray euro = "\xE2\x82\xAC";
        Row("no half character", QByteArray(259, 'i') + euro, QByteArray(1023, 'c') + euro,
            QByteArray(259, 'i'), QByteArray(1023, 'c'));
    }
    void textsAreCutToTheirFields() {
        auto [image, cmdLine, storedImage, storedCmdLine] =
            Fetch<QByteArray, QByteArray, QByteArray, QByteArray>("image", "cmdLine", "storedImage",
                                                                  "storedCmdLine");
        EmulatorOptions rec = ZeroRecord();
        std::memset(&rec.os, 0x5A, sizeof rec.os);
        // The last byte of each field is the terminator the copy never writes.
        rec.os.osImage[260] = rec.os.initrdImage[260] = rec.os.cmdLine[1024] = '\0';
        CEmulatorOS* page = Open(rec);
        SetText(page, Ids::OsImage::id, QString::fromUtf8(image));
        SetText(page, Ids::InitrdImage::id, QString::fromUtf8(image));
        SetText(page, Ids::CmdLine::id, QString::fromUtf8(cmdLine));
        m_page->OnOK();
        QCOMPARE(QByteArray::fromStdString(GetField(m_rec.os.osImage)), storedImage);
        QCOMPARE(QByteArray::fromStdString(GetField(m_rec.os.initrdImage)), storedImage);
        QCOMPARE(QByteArray::fromStdString(GetField(m_rec.os.cmdLine)), storedCmdLine);
        QCOMPARE(m_rec.os.reserved0[0], '\x5A'); // padding after the block's fields
    }

    void pastedLineBreaksAreStored() {
        CEmulatorOS* page = Open(ZeroRecord());
        auto* edit = GetDlgItem<Ids::CmdLine>(page);
        QVERIFY(edit);
        const QString pasted = "console=ttyS0\nroot=/dev/ram\n\ninit=/sbin/init";
        QGuiApplication::clipboard()->setText(pasted);
        if (QGuiApplication::clipboard()->text() == pasted)
            edit->paste();
        else
            edit->insertPlainText(pasted); // no clipboard on this platform
        m_page->OnOK();
        QCOMPARE(FromLocal(GetField(m_rec.os.cmdLine)), pasted);
    }
};

QTEST_MAIN(TestOsPage)
#include "tst_ospage.moc"
