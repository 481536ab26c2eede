// The main window: filling, the four commands, button states and keys; how
// the keyboard moves through it and through the peripheral list.
#include "VmTestUtil.h"

#include "ListTestUtil.h"
#include "TestRow.h"

#include "TestBackendControl.h"
#include "app/TarnwickApp.h"
#include "config/EmulatorPeri.h"
#include "config/PeriListCtrl.h"
#include "config/RecordText.h"
#include "dialog/DialogBuilder.h"
#include "dialog/TemplateDialog.h"
#include "lang/LanguageManager.h"
#include "res/DialogIds.h"
#include "vmlist/TarnwickDlg.h"
#include "vmlist/VmListCtrl.h"

#include <QAbstractButton>
#include <QHeaderView>
#include <QTest>
#include <cstring>
#include <memory>

using namespace VmTest;

namespace {

const std::vector<std::string> kFive = {"vm1", "vm2", "vm3", "vm4", "vm5"};

QString RowOf(const std::string& name) {
    return QString::fromStdString(name + "|" + kArch + "|" + kTarget + "|" + kCpu);
}

QStringList RowsOf(const std::vector<std::string>& names) {
    QStringList rows;
    for (const std::string& n : names)
        rows << RowOf(n);
    return rows;
}

std::vector<int> SelectedRows(const CTarnwickDlg& dlg) {
    std::vector<int> rows;
    for (int r = 0; r < dlg.ListCtrl()->GetItemCount(); ++r) {
        if (dlg.ListCtrl()->selectionModel()->isRowSelected(r, QModelIndex()))
            rows.push_back(r);
    }
    return rows;
}

// A window whose sheet ends with OK at once, leaving the record as it is.
class CWindowWithAcceptingSheet : public CTarnwickDlg {
protected:
    int RunSheet(const std::string&, EmulatorOptions&, const std::string&) override { return IDOK; }
};

} // namespace

class TestMainWindow : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { QVERIFY(InitProcess()); }
    void init() {
        ResetBackend();
        theApp.m_strExtraArg.clear();
    }

    void fill_data();
    void fill();
    void columns();
    void windowFrameAndCloseBox();
    void newMachine_data();
    void newMachine();
    void cancelledSheetStoresNothing_data();
    void cancelledSheetStoresNothing();
    void newWithEmptyName();
    void editKeepsMachineStoredUntilOk_data();
    void editKeepsMachineStoredUntilOk();
    void firstSelectedRowActs_data();
    void firstSelectedRowActs();
    void clicksSetButtons();
    void keyboardSelectionLeavesButtons();
    void tabLeavesListsArrowsStayInside_data();
    void tabLeavesListsArrowsStayInside();
    void enterAndEscapeDoNothing_data();
    void enterAndEscapeDoNothing();
    void editTitleFromHostileFormat();
};

void TestMainWindow::fill_data() {
    QTest::addColumn<QStringList>("listed");
    QTest::addColumn<QStringList>("unreadable");
    QTest::addColumn<QString>("extra");
    QTest::addColumn<QStringList>("expected");

    QTest::newRow("empty back end") << QStringList() << QStringList() << QString() << QStringList();
    QTest::newRow("second unreadable") << QStringList{"vm1", "vm2", "vm3"} << QStringList{"vm2"}
                                       << QString() << QStringList{RowOf("vm1"), RowOf("vm3")};
    QTest::newRow("further argument passed")
        << QStringList{"vm1"} << QStringList() << QString("board=b1") << QStringList{RowOf("vm1")};
    QTest::newRow("all unreadable")
        << QStringList{"a", "b"} << QStringList{"a", "b"} << QString() << QStringList();
}

void TestMainWindow::fill() {
    QFETCH(QStringList, listed);
    QFETCH(QStringList, unreadable);
    QFETCH(QString, extra);
    QFETCH(QStringList, expected);

    std::vector<std::string> names;
    for (const QString& n : listed)
        names.push_back(n.toStdString());
    ScriptMachines(names);
    for (const QString& n : unreadable)
        TestBackend::SetRecord(n.toStdString(), MakeRecord(n.toStdString()), 0);
    theApp.m_strExtraArg = extra.toStdString();
    TestBackend::ClearLog();

    CTarnwickDlg dlg;
    dlg.Open();
    QCOMPARE(Rows(dlg), expected);
    QVERIFY(CommandButtonsEnabled(dlg, false));
    QVERIFY(ButtonEnabled(dlg, res::Main::New::id));
    QVERIFY(SelectedRows(dlg).empty());

    const auto enums = TestBackend::CallsOf("EnumAllEmulator");
    QVERIFY(!enums.empty());
    QCOMPARE(enums[0].args[0], extra.isEmpty() ? std::string("<null>") : extra.toStdString());
    QCOMPARE(TestBackend::CallsOf("GetEmulatorOptions").size(), size_t(listed.size()));
}

void TestMainWindow::columns() {
    g_pLangManager->SetText("VM_TARGET", "Board");
    CTarnwickDlg dlg;
    dlg.Open();
    g_pLangManager->SetText("VM_TARGET", "Target");

    CVmListCtrl* list = dlg.ListCtrl();
    QCOMPARE(list->model()->columnCount(), 4);
    const QStringList expected{"Name", "Arch", "Board", "CPU"};
    for (int c = 0; c < 4; ++c) {
        QCOMPARE(list->model()->headerData(c, Qt::Horizontal).toString(), expected[c]);
        QCOMPARE(list->columnWidth(c), list->ClientWidth() / 4);
    }
    QVERIFY(list->showGrid());
    QCOMPARE(list->selectionBehavior(), QAbstractItemView::SelectRows);
    QCOMPARE(list->selectionMode(), QAbstractItemView::ExtendedSelection);
    QVERIFY(!list->isSortingEnabled());
}

void TestMainWindow::windowFrameAndCloseBox() {
    CTarnwickDlg dlg;
    dlg.Open();
    QVERIFY(dlg.isVisible());
    QCOMPARE(dlg.windowTitle(), QString("Tarnwick"));
    const Qt::WindowFlags flags = dlg.windowFlags();
    QVERIFY(flags & Qt::WindowMinimizeButtonHint);
    QVERIFY(flags & Qt::WindowCloseButtonHint);
    QVERIFY(!(flags & Qt::WindowMaximizeButtonHint));
    QCOMPARE(dlg.minimumSize(), dlg.maximumSize());
    QVERIFY(!dlg.windowIcon().isNull());
    QVERIFY(dlg.close());
    QVERIFY(!dlg.isVisible());
    QCOMPARE(dlg.result(), IDCANCEL);
}

void TestMainWindow::newMachine_data() {
    QTest::addColumn<int>("selected");
    QTest::addColumn<int>("insertedAt");
    QTest::newRow("third of five selected") << 2 << 2;
    QTest::newRow("nothing selected") << -1 << 5;
}

void TestMainWindow::newMachine() {
    QFETCH(int, selected);
    QFETCH(int, insertedAt);
    ScriptMachines(kFive);
    TestBackend::SetDefaultRecord(MakeRecord("fresh"));
    auto dlg = OpenWindow();
    if (selected >= 0)
        ClickRow(*dlg, selected);
    const bool buttonsBefore = ButtonEnabled(*dlg, res::Main::Edit::id);

    ModalSeen seen;
    AnswerNextSheet(&seen, IDOK);
    Button(dlg.get(), res::Main::New::id)->click();

    QVERIFY(seen.appeared);
    QCOMPARE(seen.refusal, QString());
    QCOMPARE(seen.title, QString("Create New Virtual Machine"));
    const auto defaults = TestBackend::CallsOf("SetEmulatorOptDefault");
    QCOMPARE(defaults.size(), size_t(1));
    QCOMPARE(defaults[0].args[0], std::string("<null>"));
    const auto saves = TestBackend::CallsOf("SaveEmulatorOptions");
    QCOMPARE(saves.size(), size_t(1));
    const EmulatorOptions saved = TestBackend::RecordArg(saves[0]);
    QCOMPARE(GetField(saved.general.name), std::string("fresh"));
    QCOMPARE(GetField(saved.os.osImage), std::string("zImage-fresh"));

    QStringList expected = RowsOf(kFive);
    expected.insert(insertedAt, RowOf("fresh"));
    QCOMPARE(Rows(*dlg), expected);
    if (selected >= 0)
        QCOMPARE(SelectedRows(*dlg), std::vector<int>{selected + 1});
    else
        QVERIFY(SelectedRows(*dlg).empty());
    QCOMPARE(ButtonEnabled(*dlg, res::Main::Edit::id), buttonsBefore);
}

void TestMainWindow::cancelledSheetStoresNothing_data() {
    QTest::addColumn<int>("how");         // 0: new, 1: edit, 2: double click with Ctrl on vm4
    QTest::addColumn<bool>("unreadable"); // vm2's record fails after the window opened
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("title");
    Row("new", 0, false, QString(), QString("Create New Virtual Machine"));
    Row("edit, name typed", 1, false, QString("typed but cancelled"),
        QString("Edit Virutal Machine vm2"));
    Row("edit of an unreadable record", 1, true, QString(), QString("Edit Virutal Machine vm2"));
    Row("double click edits the first selected", 2, false, QString(),
        QString("Edit Virutal Machine vm2"));
}

void TestMainWindow::cancelledSheetStoresNothing() {
    QFETCH(int, how);
    QFETCH(bool, unreadable);
    QFETCH(QString, typed);
    QFETCH(QString, title);
    ScriptMachines(kFive);
    TestBackend::SetDefaultRecord(MakeRecord("fresh"));
    auto dlg = OpenWindow();
    if (unreadable) {
        EmulatorOptions zero;
        std::memset(&zero, 0, sizeof zero);
        TestBackend::SetRecord("vm2", zero, 0);
    }
    ClickRow(*dlg, 1);

    ModalSeen seen;
    AnswerNextSheet(&seen, IDCANCEL, typed);
    if (how == 0)
        dlg->OnNewVm();
    else if (how == 1)
        dlg->OnEditVm();
    else
        DoubleClickRow(*dlg, 3, Qt::ControlModifier);

    QVERIFY(seen.appeared);
    QCOMPARE(seen.title, title);
    QVERIFY(StoreChangingCalls().empty());
    QCOMPARE(Rows(*dlg), RowsOf(kFive));
    if (how != 2)
        QCOMPARE(SelectedRows(*dlg), std::vector<int>{1});
    QVERIFY(CommandButtonsEnabled(*dlg, true));
}

void TestMainWindow::newWithEmptyName() {
    ScriptMachines({"vm1"});
    TestBackend::SetDefaultRecord(MakeRecord(""));
    CWindowWithAcceptingSheet dlg;
    dlg.Open();
    TestBackend::ClearLog();

    dlg.OnNewVm();
    QVERIFY(StoreChangingCalls().empty());
    QCOMPARE(Rows(dlg), RowsOf({"vm1"}));
}

void TestMainWindow::editKeepsMachineStoredUntilOk_data() {
    QTest::addColumn<QString>("newName");
    QTest::addColumn<QString>("storedAs");
    QTest::newRow("renamed") << QString("renamed") << QString("renamed");
    QTest::newRow("name kept") << QString() << QString("vm3");
}

void TestMainWindow::editKeepsMachineStoredUntilOk() {
    QFETCH(QString, newName);
    QFETCH(QString, storedAs);
    ScriptMachines({"vm1", "vm2", "vm3", "vm4"});
    auto dlg = OpenWindow();
    ClickRow(*dlg, 2);

    ModalSeen seen;
    AnswerNextSheet(&seen, IDOK, newName);
    Button(dlg.get(), res::Main::Edit::id)->click();

    QVERIFY(seen.appeared);
    QCOMPARE(seen.refusal, QString());
    QCOMPARE(seen.title, QString("Edit Virutal Machine vm3"));
    QVERIFY(seen.changesWhileOpen.empty());

    const auto calls = TestBackend::Calls();
    std::vector<BackendCall> changes;
    for (const BackendCall& c : calls) {
        if (c.function == "DelEmulatorOptions" || c.function == "SaveEmulatorOptions")
            changes.push_back(c);
    }
    QCOMPARE(changes.size(), size_t(2));
    QCOMPARE(changes[0].function, std::string("DelEmulatorOptions"));
    QCOMPARE(changes[0].args, (std::vector<std::string>{"vm3", kArch}));
    QCOMPARE(changes[1].function, std::string("SaveEmulatorOptions"));
    const EmulatorOptions saved = TestBackend::RecordArg(changes[1]);
    QCOMPARE(QString::fromStdString(GetField(saved.general.name)), storedAs);
    QCOMPARE(GetField(saved.general.arch), std::string(kArch));
    // The blocks of pages never opened are the fetched ones.
    const EmulatorOptions fetched = MakeRecord("vm3");
    QCOMPARE(std::memcmp(&saved.disk, &fetched.disk, sizeof saved.disk), 0);
    QCOMPARE(std::memcmp(&saved.os, &fetched.os, sizeof saved.os), 0);

    QCOMPARE(Rows(*dlg), (QStringList{RowOf("vm1"), RowOf("vm2"), RowOf(storedAs.toStdString()),
                                      RowOf("vm4")}));
    QVERIFY(SelectedRows(*dlg).empty());
    QVERIFY(CommandButtonsEnabled(*dlg, true));
}

void TestMainWindow::firstSelectedRowActs_data() {
    QTest::addColumn<int>("command");
    QTest::newRow("edit") << res::Main::Edit::id;
    QTest::newRow("delete") << res::Main::Delete::id;
    QTest::newRow("start") << res::Main::Start::id;
}

void TestMainWindow::firstSelectedRowActs() {
    QFETCH(int, command);
    ScriptMachines(kFive);
    TestBackend::SetStart("vm2", 1, "");
    auto dlg = OpenWindow();
    ClickRow(*dlg, 1);
    ClickRow(*dlg, 3, Qt::ControlModifier);
    QCOMPARE(SelectedRows(*dlg), (std::vector<int>{1, 3}));

    ModalSeen seen;
    if (command == res::Main::Edit::id)
        AnswerNextSheet(&seen, IDCANCEL);
    Button(dlg.get(), command)->click();

    switch (command) {
    case res::Main::Edit::id:
        QCOMPARE(seen.title, QString("Edit Virutal Machine vm2"));
        QVERIFY(CommandButtonsEnabled(*dlg, true));
        break;
    case res::Main::Delete::id: {
        const auto dels = TestBackend::CallsOf("DelEmulatorOptions");
        QCOMPARE(dels.size(), size_t(1));
        QCOMPARE(dels[0].args, (std::vector<std::string>{"vm2", kArch}));
        QCOMPARE(Rows(*dlg), RowsOf({"vm1", "vm3", "vm4", "vm5"}));
        // Disabled although vm4 is still selected.
        QCOMPARE(SelectedRows(*dlg), std::vector<int>{2});
        QVERIFY(CommandButtonsEnabled(*dlg, false));
        break;
    }
    case res::Main::Start::id: {
        const auto starts = TestBackend::CallsOf("StartEmulator");
        QCOMPARE(starts.size(), size_t(1));
        QCOMPARE(starts[0].args[0], std::string("vm2"));
        QVERIFY(CommandButtonsEnabled(*dlg, true));
        break;
    }
    }
}

void TestMainWindow::clicksSetButtons() {
    ScriptMachines({"vm1", "vm2"});
    auto dlg = OpenWindow();
    ClickRow(*dlg, 0);
    QVERIFY(CommandButtonsEnabled(*dlg, true));
    ClickBelowRows(*dlg);
    QVERIFY(CommandButtonsEnabled(*dlg, false));

    // With no row selected the enabled commands do nothing.
    ClickRow(*dlg, 0);
    dlg->ListCtrl()->clearSelection();
    QVERIFY(RunsWithoutModal([&] {
        Button(dlg.get(), res::Main::Start::id)->click();
        Button(dlg.get(), res::Main::Delete::id)->click();
        Button(dlg.get(), res::Main::Edit::id)->click();
    }));
    QVERIFY(TestBackend::Calls().empty());
    QCOMPARE(Rows(*dlg), RowsOf({"vm1", "vm2"}));
}

void TestMainWindow::keyboardSelectionLeavesButtons() {
    ScriptMachines({"vm1", "vm2", "vm3"});
    auto dlg = OpenWindow();
    dlg->activateWindow();
    dlg->ListCtrl()->setFocus();
    QTest::keyClick(dlg->ListCtrl(), Qt::Key_Down);
    QTest::keyClick(dlg->ListCtrl(), Qt::Key_Down);
    QVERIFY(!SelectedRows(*dlg).empty());
    QVERIFY(CommandButtonsEnabled(*dlg, false));
}

void TestMainWindow::tabLeavesListsArrowsStayInside_data() {
    QTest::addColumn<bool>("peripherals"); // else the machine list
    QTest::addColumn<int>("next");
    QTest::addColumn<int>("previous");
    // Nothing before the machine list takes the focus: Shift+Tab wraps round.
    QTest::newRow("machine list") << false << int(res::Main::New::id) << int(res::Main::Start::id);
    QTest::newRow("peripheral list")
        << true << int(res::Peripherals::Add::id) << int(res::Peripherals::SerialParam::id);
}

void TestMainWindow::tabLeavesListsArrowsStayInside() {
    QFETCH(bool, peripherals);
    QFETCH(int, next);
    QFETCH(int, previous);
    ScriptMachines({"vm1", "vm2", "vm3"});
    TestBackend::SetList("GetSerialType", {"COM"});
    PeriOptions block{};
    block.serialEnable = 1; // so the serial controls before the list can take the focus
    block.periCount = 3;
    for (int i = 0; i < 3; ++i) {
        SetField(block.peris[i].device, "LED");
        SetField(block.peris[i].param, "gpio=" + std::to_string(i));
    }
    std::unique_ptr<QWidget> window;
    CListViewCtrl* list = nullptr;
    if (peripherals) {
        auto page = std::make_unique<CEmulatorPeri>(&block);
        page->Create();
        page->show();
        list = page->PeriList();
        window = std::move(page);
    } else {
        auto dlg = OpenWindow();
        list = dlg->ListCtrl();
        window = std::move(dlg);
    }
    QVERIFY(list);
    // A click enables the row buttons, so every neighbour can take the focus.
    ListTest::ClickRow(list, 0);
    list->setFocus();
    QTest::keyClick(list, Qt::Key_Down);
    QCOMPARE(list->selectionModel()->selectedRows().size(), 1);
    QCOMPARE(list->GetFirstSelected(), 1);

    QTest::keyClick(list, Qt::Key_Tab);
    QCOMPARE(GetDlgCtrlID(window->focusWidget()), next);
    list->setFocus();
    QTest::keyClick(list, Qt::Key_Backtab, Qt::ShiftModifier);
    QCOMPARE(GetDlgCtrlID(window->focusWidget()), previous);
    QCOMPARE(list->GetFirstSelected(), 1);
    QCOMPARE(list->selectionModel()->selectedRows().size(), 1);
}

void TestMainWindow::enterAndEscapeDoNothing_data() {
    QTest::addColumn<int>("target"); // 0: window, else a control id
    QTest::addColumn<int>("key");
    const std::pair<const char*, int> keys[] = {
        {"Return", Qt::Key_Return}, {"Enter", Qt::Key_Enter}, {"Escape", Qt::Key_Escape}};
    const std::pair<const char*, int> targets[] = {{"window", 0},
                                                   {"list", res::Main::List::id},
                                                   {"new", res::Main::New::id},
                                                   {"edit", res::Main::Edit::id},
                                                   {"start", res::Main::Start::id}};
    for (const auto& [tname, target] : targets) {
        for (const auto& [kname, key] : keys)
            QTest::addRow("%s on %s", kname, tname) << target << key;
    }
}

void TestMainWindow::enterAndEscapeDoNothing() {
    QFETCH(int, target);
    QFETCH(int, key);
    ScriptMachines({"vm1", "vm2"});
    TestBackend::SetStart("vm1", 0, "would report");
    auto dlg = OpenWindow();
    ClickRow(*dlg, 0);
    TestBackend::ClearLog();

    QWidget* to = target == 0 ? static_cast<QWidget*>(dlg.get()) : GetDlgItem(dlg.get(), target);
    QVERIFY(to);
    to->setFocus();
    QString opened;
    QVERIFY2(RunsWithoutModal([&] { QTest::keyClick(to, Qt::Key(key)); }, &opened),
             qPrintable(opened));
    QVERIFY(dlg->isVisible());
    QCOMPARE(dlg->result(), 0);
    QVERIFY(TestBackend::Calls().empty());
    QCOMPARE(Rows(*dlg), RowsOf({"vm1", "vm2"}));
}

void TestMainWindow::editTitleFromHostileFormat() {
    ScriptMachines({"vm1"});
    auto dlg = OpenWindow();
    ClickRow(*dlg, 0);
    g_pLangManager->SetText("EDIT_VM", "%n%s%s%d");

    ModalSeen seen;
    AnswerNextSheet(&seen, IDCANCEL);
    dlg->OnEditVm();
    g_pLangManager->SetText("EDIT_VM", "Edit Virutal Machine %s");
    QCOMPARE(seen.title, QString("%nvm1%s%d"));
}

QTEST_MAIN(TestMainWindow)
#include "tst_mainwindow.moc"
