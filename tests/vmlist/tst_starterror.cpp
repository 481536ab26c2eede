// Starting a machine and the report of a failed start.
#include "VmTestUtil.h"

#include "TestRow.h"

#include "TestBackendControl.h"
#include "app/backend/EmulatorLib.h"
#include "lang/LanguageManager.h"
#include "res/DialogIds.h"
#include "vmlist/TarnwickDlg.h"

#include <QAbstractButton>
#include <QTest>
#include <memory>

using namespace VmTest;

namespace {

std::unique_ptr<CTarnwickDlg> WindowWithVm1Selected() {
    ScriptMachines({"vm1", "vm2"});
    auto dlg = OpenWindow();
    ClickRow(*dlg, 0);
    TestBackend::ClearLog();
    return dlg;
}

} // namespace

class TestStartError : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { QVERIFY(InitProcess()); }
    void init() { ResetBackend(); }

    void startSucceeds();
    void startFails_data();
    void startFails();
    void startWithoutLibrary();
    void reportKeepsErrorOverLanguageText();
};

void TestStartError::startSucceeds() {
    auto dlg = WindowWithVm1Selected();
    TestBackend::SetStart("vm1", 1, "never shown");
    QString opened;
    QVERIFY2(RunsWithoutModal([&] { Button(dlg.get(), res::Main::Start::id)->click(); }, &opened),
             qPrintable(opened));
    // No error text is asked for; the machines' states are read afterwards.
    std::vector<std::string> calls = TestBackend::CallNames();
    std::erase(calls, std::string("GetEmulatorState"));
    QCOMPARE(calls, std::vector<std::string>{"StartEmulator"});
    QCOMPARE(TestBackend::CallsOf("StartEmulator")[0].args[0], std::string("vm1"));
    QVERIFY(dlg->isVisible());
    QVERIFY(!dlg->isMinimized());
}

void TestStartError::startFails_data() {
    QTest::addColumn<QByteArray>("errText");
    QTest::addColumn<int>("claimedLength"); // -1: the text's own
    QTest::addColumn<QString>("shown");
    QTest::addColumn<int>("bufferSize"); // size passed on the second call; 0: no second call
    QTest::addColumn<int>("lines");
    QTest::addColumn<bool>("sideways"); // a line too long to show scrolls, never wraps

    const QByteArray text30("Kernel image zImage not found!");
    const QByteArray multi = "first line\nsecond line\n" + QByteArray(400, 'x');
    Row("30-byte text", text30, -1, QString::fromLatin1(text30), 30, 1, false);
    Row("no text", QByteArray(), -1, QString("Unkown Error"), 0, 1, false);
    Row("length claimed longer than text", QByteArray("short"), 100, QString("short"), 100, 1,
        false);
    Row("length claimed but nothing written", QByteArray(), 12, QString("Unkown Error"), 12, 1,
        false);
    Row("UTF-8 text", QByteArray("Gerät fehlt"), -1, QString::fromUtf8("Gerät fehlt"), 12, 1,
        false);
    Row("three lines, one long", multi, -1, QString::fromLatin1(multi), int(multi.size()), 3, true);
}

void TestStartError::startFails() {
    QFETCH(QByteArray, errText);
    QFETCH(int, claimedLength);
    QFETCH(QString, shown);
    QFETCH(int, bufferSize);
    QFETCH(int, lines);
    QFETCH(bool, sideways);
    auto dlg = WindowWithVm1Selected();
    TestBackend::SetStart("vm1", 0, errText.toStdString(), claimedLength);

    ReportSeen seen;
    ReadNextReport(&seen);
    Button(dlg.get(), res::Main::Start::id)->click();

    QVERIFY(seen.appeared);
    QCOMPARE(seen.text, shown);
    QCOMPARE(seen.lines, lines);
    QCOMPARE(seen.scrollsSideways, sideways);
    QVERIFY(!seen.wraps);
    QVERIFY(seen.readOnly);
    QVERIFY(!seen.hasButtons);
    QVERIFY(!seen.closedByEnter);
    QVERIFY(seen.closedByEscape);
    const auto infos = TestBackend::CallsOf("GetStartEmulatorErrInfo");
    QCOMPARE(infos.size(), size_t(bufferSize > 0 ? 2 : 1));
    QCOMPARE(infos[0].args, (std::vector<std::string>{"vm1", "<null>", "0"}));
    if (bufferSize > 0) {
        QCOMPARE(infos[1].args[0], std::string("vm1"));
        QVERIFY(infos[1].args[1] != "<null>");
        QCOMPARE(infos[1].args[2], std::to_string(bufferSize));
    }
    QVERIFY(dlg->isVisible());
    QVERIFY(ButtonEnabled(*dlg, res::Main::Start::id));
}

void TestStartError::startWithoutLibrary() {
    auto dlg = WindowWithVm1Selected();
    FreeEmulatorLibrary();
    ReportSeen seen;
    ReadNextReport(&seen);
    dlg->OnStartVm();
    QVERIFY(TestBackend::Load());
    QVERIFY(seen.appeared);
    QCOMPARE(seen.text, QString("Unkown Error"));
}

void TestStartError::reportKeepsErrorOverLanguageText() {
    auto dlg = WindowWithVm1Selected();
    TestBackend::SetStart("vm1", 0, "no kernel");
    g_pLangManager->SetTextById(res::StartError::Text::id, "text from the language file");
    g_pLangManager->SetTextById(res::StartError::id, "Start failed");

    ReportSeen seen;
    ReadNextReport(&seen);
    dlg->OnStartVm();
    g_pLangManager->SetTextById(res::StartError::id, "Start Emulator Error");

    QCOMPARE(seen.title, QString("Start failed"));
    QCOMPARE(seen.text, QString("no kernel"));
    // The passes ran before the error was shown again: the file's entry is
    // collected back unchanged.
    std::string collected;
    QVERIFY(g_pLangManager->GetTextById(res::StartError::Text::id, collected));
    QCOMPARE(collected, std::string("text from the language file"));
}

QTEST_MAIN(TestStartError)
#include "tst_starterror.moc"
