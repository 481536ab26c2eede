// The machine list's context menu and the running indicator, with and
// without the back end's optional exports.
#include "VmTestUtil.h"

#include "MapLangManager.h"
#include "ModalDriver.h"
#include "TestBackendControl.h"
#include "app/backend/ProgramDir.h"
#include "dialog/TemplateDialog.h"
#include "lang/LanguageManager.h"
#include "res/DialogIds.h"
#include "vmlist/TarnwickDlg.h"
#include "vmlist/VmListCtrl.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDialog>
#include <QKeyEvent>
#include <QTest>
#include <memory>
#include <optional>

using namespace VmTest;

namespace {

// The calls made after the first call of `function`.
std::vector<std::string> CallsAfter(const std::string& function) {
    std::vector<std::string> names = TestBackend::CallNames();
    const auto first = std::find(names.begin(), names.end(), function);
    return first == names.end() ? std::vector<std::string>{}
                                : std::vector<std::string>(first + 1, names.end());
}

// While alive, stands in for the language manager: what it holds at the end
// is every key looked up meanwhile, as the write-back would store them.
class KeysLookedUp {
public:
    KeysLookedUp() : m_saved(g_pLangManager) { g_pLangManager = &m_texts; }
    ~KeysLookedUp() { g_pLangManager = m_saved; }
    KeysLookedUp(const KeysLookedUp&) = delete;
    KeysLookedUp& operator=(const KeysLookedUp&) = delete;

    QStringList Keys() const {
        QStringList keys;
        for (const auto& [key, text] : m_texts.texts)
            keys << QString::fromStdString(key);
        return keys;
    }

private:
    CLanguageManger* m_saved;
    CMapLangManager m_texts;
};

// The language keys of menu items as MenuSeen lists them, sorted.
QStringList KeysOf(QStringList items) {
    const std::pair<const char*, const char*> known[] = {{"Start", "VM_START"},
                                                         {"Stop", "VM_STOP"},
                                                         {"Force off", "VM_FORCE_OFF"},
                                                         {"Details", "VM_DETAILS"},
                                                         {"Clone...", "VM_CLONE"}};
    QStringList keys;
    for (QString item : items) {
        item.remove(QLatin1Char('(')).remove(QLatin1Char(')'));
        for (const auto& [text, key] : known) {
            if (item == QLatin1String(text))
                keys << QLatin1String(key);
        }
    }
    keys.sort();
    return keys;
}

} // namespace

class TestVmMenu : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { QVERIFY(InitProcess()); }
    void init() {
        QVERIFY(TestBackend::Load());
        ResetBackend();
    }
    void cleanupTestCase() { QVERIFY(TestBackend::Load()); }

    void menuFollowsStateAndExports_data();
    void menuFollowsStateAndExports();
    void noRowNoMenu();
    void stopAndForceOff_data();
    void stopAndForceOff();
    void startFromMenu_data();
    void startFromMenu();
    void detailsShowInfoReadOnly();
    void cloneFromMenu_data();
    void cloneFromMenu();
    void statesReadAtOpenAfterCommandsAndOnReturn();
};

void TestVmMenu::menuFollowsStateAndExports_data() {
    QTest::addColumn<QString>("variant"); // empty: the full test back end
    QTest::addColumn<int>("state");
    QTest::addColumn<QStringList>("items"); // none: no menu at all
    QTest::addColumn<QString>("indicator");

    const QStringList all{"Start", "Stop", "Force off", "Details", "Clone..."};
    QTest::newRow("stopped") << QString() << 0
                             << QStringList{"Start", "(Stop)", "(Force off)", "Details", "Clone..."}
                             << QString();
    QTest::newRow("running") << QString() << 1
                             << QStringList{"(Start)", "Stop", "Force off", "Details", "(Clone...)"}
                             << QString("running");
    QTest::newRow("paused") << QString() << 2
                            << QStringList{"(Start)", "Stop", "Force off", "Details", "(Clone...)"}
                            << QString("paused");
    // A state the interface does not define claims nothing.
    QTest::newRow("undefined state") << QString() << 7 << all << QString();
    // Start alone would only repeat its button: the window stays as it was
    // before there was a menu.
    QTest::newRow("seventeen exports only")
        << QString("no-optional") << 1 << QStringList() << QString();
    QTest::newRow("no state") << QString("no-GetEmulatorState") << 1 << all << QString();
    QTest::newRow("no stop") << QString("no-StopEmulator") << 1
                             << QStringList{"(Start)", "Details", "(Clone...)"}
                             << QString("running");
    QTest::newRow("no info") << QString("no-GetEmulatorInfo") << 0
                             << QStringList{"Start", "(Stop)", "(Force off)", "Clone..."}
                             << QString();
    QTest::newRow("no clone") << QString("no-CloneEmulator") << 0
                              << QStringList{"Start", "(Stop)", "(Force off)", "Details"}
                              << QString();
}

void TestVmMenu::menuFollowsStateAndExports() {
    QFETCH(QString, variant);
    QFETCH(int, state);
    QFETCH(QStringList, items);
    QFETCH(QString, indicator);
    if (!variant.isEmpty()) {
        QVERIFY(TestBackend::LoadFrom(TestBackend::VariantsDir() + "/" + variant.toStdString() +
                                      "/" BREVANTIX_LIBRARY_NAME));
        ResetBackend();
    }
    ScriptMachines({"vm1", "vm2"});
    TestBackend::SetState("vm2", state);
    auto dlg = OpenWindow();

    // The name cell keeps the exact name beside the indicator.
    QCOMPARE(Rows(*dlg).size(), 2);
    QCOMPARE(QString::fromStdString(dlg->ListCtrl()->GetItemText(1, 0)), QString("vm2"));
    QCOMPARE(Indicators(*dlg), (QStringList{QString(), indicator}));

    // Only the shown items' texts are looked up, so only their keys reach the
    // language file.
    KeysLookedUp lookedUp;
    if (items.isEmpty()) {
        QString opened;
        QVERIFY2(RunsWithoutModal([&] { RightClickRow(*dlg, 1); }, &opened), qPrintable(opened));
    } else {
        MenuSeen seen;
        AnswerNextMenu(&seen);
        RightClickRow(*dlg, 1);
        QVERIFY(seen.appeared);
        QCOMPARE(seen.items, items);
    }
    QCOMPARE(lookedUp.Keys(), KeysOf(items));
    QVERIFY(TestBackend::CallsOf("StopEmulator").empty());
    QVERIFY(StoreChangingCalls().empty());
    QVERIFY(CommandButtonsEnabled(*dlg, false));
    if (!items.isEmpty())
        return;

    // Without a menu the Menu key and Shift+F10 are the list's as a plain
    // table view's, which takes neither.
    ClickRow(*dlg, 1);
    dlg->ListCtrl()->setFocus();
    const std::pair<Qt::Key, Qt::KeyboardModifier> keys[] = {{Qt::Key_Menu, Qt::NoModifier},
                                                             {Qt::Key_F10, Qt::ShiftModifier}};
    for (const auto& [key, modifier] : keys) {
        QKeyEvent press(QEvent::KeyPress, key, modifier);
        QString opened;
        QVERIFY2(
            RunsWithoutModal([&] { QApplication::sendEvent(dlg->ListCtrl(), &press); }, &opened),
            qPrintable(opened));
        QVERIFY(!press.isAccepted());
    }
    QVERIFY(lookedUp.Keys().isEmpty());
}

void TestVmMenu::noRowNoMenu() {
    ScriptMachines({"vm1", "vm2"});
    auto dlg = OpenWindow();
    QString opened;
    QVERIFY2(RunsWithoutModal([&] { ClickBelowRows(*dlg, Qt::RightButton); }, &opened),
             qPrintable(opened));
    dlg->ListCtrl()->clearSelection();
    dlg->ListCtrl()->setFocus();
    QVERIFY2(RunsWithoutModal([&] { QTest::keyClick(dlg->ListCtrl(), Qt::Key_Menu); }, &opened),
             qPrintable(opened));
    QVERIFY(TestBackend::Calls().empty());
}

void TestVmMenu::stopAndForceOff_data() {
    QTest::addColumn<int>("key"); // 0: right click on row 3
    QTest::addColumn<int>("modifiers");
    QTest::addColumn<QString>("item");
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("force");
    QTest::addColumn<QStringList>("indicators");

    // Rows 2 and 4 are selected; vm2 and vm3 run.
    QTest::newRow("stop by right click, the row under the pointer")
        << 0 << 0 << "Stop"
        << "vm3"
        << "0" << QStringList{"", "running", "", ""};
    QTest::newRow("force off by the Menu key, the first selected row")
        << int(Qt::Key_Menu) << 0 << "Force off"
        << "vm2"
        << "1" << QStringList{"", "", "running", ""};
    QTest::newRow("force off by Shift+F10")
        << int(Qt::Key_F10) << int(Qt::ShiftModifier) << "Force off"
        << "vm2"
        << "1" << QStringList{"", "", "running", ""};
}

void TestVmMenu::stopAndForceOff() {
    QFETCH(int, key);
    QFETCH(int, modifiers);
    QFETCH(QString, item);
    QFETCH(QString, name);
    QFETCH(QString, force);
    QFETCH(QStringList, indicators);
    ScriptMachines({"vm1", "vm2", "vm3", "vm4"});
    TestBackend::SetState("vm2", BREVANTIX_STATE_RUNNING);
    TestBackend::SetState("vm3", BREVANTIX_STATE_RUNNING);
    auto dlg = OpenWindow();
    ClickRow(*dlg, 1);
    ClickRow(*dlg, 3, Qt::ControlModifier);
    QCOMPARE(Indicators(*dlg), (QStringList{"", "running", "running", ""}));

    MenuSeen seen;
    AnswerNextMenu(&seen, item);
    if (key == 0) {
        RightClickRow(*dlg, 2);
    } else {
        dlg->ListCtrl()->setFocus();
        QTest::keyClick(dlg->ListCtrl(), Qt::Key(key), Qt::KeyboardModifiers(modifiers));
    }

    QVERIFY(seen.appeared);
    const auto stops = TestBackend::CallsOf("StopEmulator");
    QCOMPARE(stops.size(), size_t(1));
    QCOMPARE(stops[0].args, (std::vector<std::string>{name.toStdString(), force.toStdString()}));
    // Every row's state is read again after the command.
    QCOMPARE(CallsAfter("StopEmulator"), std::vector<std::string>(4, "GetEmulatorState"));
    QCOMPARE(Indicators(*dlg), indicators);
    QCOMPARE(Rows(*dlg).size(), 4);
    QVERIFY(CommandButtonsEnabled(*dlg, true));
}

void TestVmMenu::startFromMenu_data() {
    QTest::addColumn<int>("result");
    QTest::addColumn<QString>("report"); // empty: none
    QTest::addColumn<QString>("indicator");
    QTest::newRow("started") << 1 << QString() << QString("running");
    QTest::newRow("failed, reported as by the button")
        << 0 << QString("no kernel image") << QString();
}

void TestVmMenu::startFromMenu() {
    QFETCH(int, result);
    QFETCH(QString, report);
    QFETCH(QString, indicator);
    ScriptMachines({"vm1", "vm2"});
    TestBackend::SetStart("vm2", result, report.toStdString());
    auto dlg = OpenWindow();

    MenuSeen seen;
    AnswerNextMenu(&seen, "Start");
    ReportSeen shown;
    if (!report.isEmpty())
        ReadNextReport(&shown);
    QString opened;
    const bool quiet = RunsWithoutModal([&] { RightClickRow(*dlg, 1); }, &opened);

    QVERIFY(seen.appeared);
    const auto starts = TestBackend::CallsOf("StartEmulator");
    QCOMPARE(starts.size(), size_t(1));
    QCOMPARE(starts[0].args[0], std::string("vm2"));
    if (report.isEmpty()) {
        QVERIFY2(quiet, qPrintable(opened));
    } else {
        QVERIFY(shown.appeared);
        QCOMPARE(shown.title, QString("Start Emulator Error"));
        QCOMPARE(shown.text, report);
    }
    QCOMPARE(Indicators(*dlg), (QStringList{"", indicator}));
}

void TestVmMenu::detailsShowInfoReadOnly() {
    ScriptMachines({"vm1", "vm2"});
    const std::string info = "process 4242\nlog /tmp/vm1.log\nserial console /dev/pts/7";
    TestBackend::SetInfo("vm1", info);
    g_pLangManager->SetText("VM_DETAILS", "Info");
    g_pLangManager->SetText("VM_DETAILS_TITLE", "About %s");
    g_pLangManager->SetText("VM_STOP", "Halt");
    auto dlg = OpenWindow();

    MenuSeen seen;
    AnswerNextMenu(&seen, "Info");
    ReportSeen shown;
    ReadNextReport(&shown);
    RightClickRow(*dlg, 0);
    g_pLangManager->SetText("VM_DETAILS", "Details");
    g_pLangManager->SetText("VM_DETAILS_TITLE", "Details of %s");
    g_pLangManager->SetText("VM_STOP", "Stop");

    QCOMPARE(seen.items, (QStringList{"Start", "(Halt)", "(Force off)", "Info", "Clone..."}));
    QVERIFY(shown.appeared);
    QCOMPARE(shown.title, QString("About vm1"));
    QCOMPARE(shown.text, QString::fromStdString(info));
    QVERIFY(shown.readOnly);
    QVERIFY(!shown.wraps);
    const auto infos = TestBackend::CallsOf("GetEmulatorInfo");
    QCOMPARE(infos.size(), size_t(2));
    QCOMPARE(infos[0].args, (std::vector<std::string>{"vm1", "<null>", "0"}));
    QCOMPARE(infos[1].args[2], std::to_string(info.size()));
    // The machine's details are not texts of the program: none reaches the
    // language file.
    std::string collected;
    QVERIFY(!g_pLangManager->GetTextById(res::StartError::Text::id, collected) ||
            collected.find("process 4242") == std::string::npos);
    QVERIFY(TestBackend::CallsOf("StopEmulator").empty());
}

void TestVmMenu::cloneFromMenu_data() {
    QTest::addColumn<QString>("name"); // null: the one proposed
    QTest::addColumn<int>("result");
    QTest::addColumn<QString>("refusal");
    QTest::addColumn<QString>("report"); // the back end's text after a failure
    QTest::addColumn<QStringList>("names");

    const QStringList unchanged{"vm1", "vm2"};
    QTest::newRow("proposed name")
        << QString() << 1 << QString() << QString() << QStringList{"vm1", "vm1 copy", "vm2"};
    QTest::newRow("typed name") << QString("vm3") << 1 << QString() << QString()
                                << QStringList{"vm1", "vm3", "vm2"};
    QTest::newRow("empty name") << QString("") << 1
                                << QString("Please enter the Virtual Machine name") << QString()
                                << unchanged;
    QTest::newRow("taken name") << QString("vm2") << 1
                                << QString("Virtual Machine Name vm2 have exist!") << QString()
                                << unchanged;
    QTest::newRow("failed") << QString("vm3") << 0 << QString()
                            << QString("No room for vm3.sd.img:\nNo space left on device")
                            << unchanged;
}

void TestVmMenu::cloneFromMenu() {
    QFETCH(QString, name);
    QFETCH(int, result);
    QFETCH(QString, refusal);
    QFETCH(QString, report);
    QFETCH(QStringList, names);
    ScriptMachines({"vm1", "vm2"});
    const std::string to = name.isNull() ? "vm1 copy" : name.toStdString();
    TestBackend::SetClone(to, result, result ? "copied sd.img" : report.toStdString());
    TestBackend::SetRecord(to, MakeRecord(to));
    auto dlg = OpenWindow();

    MenuSeen seen;
    AnswerNextMenu(&seen, "Clone...");
    ModalSeen asked;
    AnswerNextSheet(&asked, IDOK, name);
    // Whatever opens once the dialog has closed: only a failure's report.
    std::optional<UnexpectedModalGuard> after;
    if (refusal.isEmpty())
        after.emplace();
    RightClickRow(*dlg, 0);

    QVERIFY(seen.appeared);
    QVERIFY(asked.appeared);
    QCOMPARE(asked.title, QString("Clone vm1"));
    QCOMPARE(asked.refusal, refusal);
    const auto clones = TestBackend::CallsOf("CloneEmulator");
    if (refusal.isEmpty()) {
        QCOMPARE(clones.size(), size_t(1));
        QCOMPARE(clones[0].args, (std::vector<std::string>{"vm1", to}));
        QCOMPARE(after->Opened() ? after->Text() : QString(), report);
    } else {
        QVERIFY(clones.empty());
    }
    QStringList shown;
    for (const QString& row : Rows(*dlg))
        shown << row.section(QLatin1Char('|'), 0, 0);
    QCOMPARE(shown, names);
    QVERIFY(StoreChangingCalls().empty());
}

void TestVmMenu::statesReadAtOpenAfterCommandsAndOnReturn() {
    ScriptMachines({"vm1", "vm2", "vm3"});
    TestBackend::SetState("vm2", BREVANTIX_STATE_RUNNING);
    TestBackend::ClearLog();
    auto dlg = std::make_unique<CTarnwickDlg>();
    dlg->Open();
    // One state read per row at opening.
    QCOMPARE(TestBackend::CallsOf("GetEmulatorState").size(), size_t(3));
    QCOMPARE(Indicators(*dlg), (QStringList{"", "running", ""}));

    // Changes behind the window show once the user comes back to it.
    TestBackend::SetState("vm2", BREVANTIX_STATE_STOPPED);
    TestBackend::SetState("vm3", BREVANTIX_STATE_RUNNING);
    dlg->activateWindow();
    QTRY_VERIFY(dlg->isActiveWindow());
    QCOMPARE(Indicators(*dlg), (QStringList{"", "running", ""}));
    QDialog elsewhere(dlg.get());
    elsewhere.show();
    elsewhere.activateWindow();
    QTRY_VERIFY(!dlg->isActiveWindow());
    elsewhere.hide();
    dlg->activateWindow();
    QTRY_COMPARE(Indicators(*dlg), (QStringList{"", "", "running"}));

    // And at once when the back end says a machine started or stopped (a
    // guest that powered off), without the user coming back.
    TestBackend::SetState("vm1", BREVANTIX_STATE_RUNNING);
    QCOMPARE(Indicators(*dlg), (QStringList{"", "", "running"}));
    TestBackend::SignalRunEvent();
    QTRY_COMPARE_WITH_TIMEOUT(Indicators(*dlg), (QStringList{"running", "", "running"}), 1000);
    TestBackend::SetState("vm1", BREVANTIX_STATE_STOPPED);

    // An edit replaces the row; the running machine keeps its indicator.
    ClickRow(*dlg, 2);
    ModalSeen sheet;
    AnswerNextSheet(&sheet, IDOK);
    dlg->OnEditVm();
    QVERIFY(sheet.appeared);
    QCOMPARE(sheet.refusal, QString());
    QCOMPARE(Indicators(*dlg), (QStringList{"", "", "running"}));

    // After a delete the rows that stay show their states.
    TestBackend::SetState("vm1", BREVANTIX_STATE_PAUSED);
    TestBackend::ClearLog();
    ClickRow(*dlg, 1);
    dlg->OnDeleteVm();
    QCOMPARE(Rows(*dlg).size(), 2);
    QCOMPARE(Indicators(*dlg), (QStringList{"paused", "running"}));
    QVERIFY(TestBackend::CallsOf("StopEmulator").empty()); // it was not running

    // A running machine is ended before it is deleted: with its row gone,
    // nothing could reach its emulator any more.
    TestBackend::ClearLog();
    ClickRow(*dlg, 1);
    dlg->OnDeleteVm();
    const auto stops = TestBackend::CallsOf("StopEmulator");
    QCOMPARE(stops.size(), size_t(1));
    QCOMPARE(stops[0].args, (std::vector<std::string>{"vm3", "1"}));
    const std::vector<std::string> calls = TestBackend::CallNames();
    QVERIFY(std::find(calls.begin(), calls.end(), "StopEmulator") <
            std::find(calls.begin(), calls.end(), "DelEmulatorOptions"));
    QCOMPARE(Rows(*dlg).size(), 1);
}

QTEST_MAIN(TestVmMenu)
#include "tst_vmmenu.moc"
