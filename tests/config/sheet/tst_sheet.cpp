// The configuration sheet: page protocol, buttons, keys and language passes.
#include "ModalDriver.h"
#include "SheetTestSupport.h"
#include "TestBackendControl.h"
#include "app/backend/EmulatorLib.h"
#include "config/EmulPropertyPage.h"
#include "config/EmulatorDev.h"
#include "config/EmulatorDisk.h"
#include "config/EmulatorDlg.h"
#include "config/EmulatorOS.h"
#include "config/EmulatorPeri.h"
#include "config/RecordText.h"
#include "dialog/MessageBox.h"
#include "dialog/TemplateDialog.h"
#include "res/DialogIds.h"

#include <QLabel>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTabBar>
#include <QTabWidget>
#include <QtTest>

#include <cstring>
#include <functional>

using namespace sheet_test;

namespace {

// The sheet's tab control, and a caption inside a fake page.
constexpr int32_t kTabControlId = 12320, kInnerCaptionId = 4242;

// Logs what the sheet asks of it ("init:1", "leave:0", "ok:2") into a log
// shared by the pages of one sheet.
class CFakePage : public CEmulPropertyPage {
public:
    CFakePage(int index, QStringList* log) : CEmulPropertyPage(0), m_index(index), m_log(log) {
        // A caption inside the page: the sheet's passes must not reach it.
        SetDlgCtrlID(new QLabel(QStringLiteral("Inner"), this), kInnerCaptionId);
    }

    bool refuse = false;
    QPlainTextEdit* editor = nullptr;
    int paints = 0;

    bool OnKillActive() override {
        Log("leave");
        return !refuse;
    }
    void OnOK() override { Log("ok"); }

protected:
    void paintEvent(QPaintEvent*) override { ++paints; }
    // No passes of its own, so whatever reaches the map came from the sheet.
    bool OnInitDialog() override {
        Log("init");
        editor = new QPlainTextEdit(QStringLiteral("line"), this);
        return true;
    }

private:
    void Log(const char* what) { *m_log << QStringLiteral("%1:%2").arg(what).arg(m_index); }

    int m_index;
    QStringList* m_log;
};

class CFakeSheet : public CEmulatorDlg {
public:
    explicit CFakeSheet(QStringList* log)
        : CEmulatorDlg("Fake sheet", {new CFakePage(0, log), new CFakePage(1, log),
                                      new CFakePage(2, log), new CFakePage(3, log)}) {}
    CFakePage* Page(int i) const { return static_cast<CFakePage*>(Pages()[i]); }
};

// Runs the sheet with `drive` inside its modal loop; a sheet that `drive`
// left open (a failed check) is ended so the test cannot hang.
int RunModal(CEmulatorDlg& sheet, const std::function<void(QDialog*)>& drive) {
    OnNextModal([&](QWidget* modal) {
        auto* dialog = qobject_cast<QDialog*>(modal);
        if (dialog == &sheet)
            drive(dialog);
        else
            QFAIL("the sheet was not the modal window");
        if (sheet.isVisible())
            sheet.done(-1);
    });
    return sheet.DoModal();
}

enum class Trigger { Api, MouseClick, CtrlTab, ArrowOnTabBar };
} // namespace
Q_DECLARE_METATYPE(Trigger)
namespace {

void AskForTab(CEmulatorDlg& sheet, Trigger how, int index) {
    QTabBar* bar = sheet.Tabs()->tabBar();
    switch (how) {
    case Trigger::Api:
        sheet.SetActivePage(index);
        break;
    case Trigger::MouseClick:
        QTest::mouseClick(bar, Qt::LeftButton, {}, bar->tabRect(index).center());
        break;
    case Trigger::CtrlTab:
        QTest::keyClick(sheet.Pages()[sheet.ActivePage()], Qt::Key_Tab, Qt::ControlModifier);
        break;
    case Trigger::ArrowOnTabBar:
        QTest::keyClick(bar, Qt::Key_Right);
        break;
    }
    QCoreApplication::processEvents();
}

QStringList TabTexts(const CEmulatorDlg& sheet) {
    QStringList texts;
    for (int i = 0; i < sheet.Tabs()->count(); ++i)
        texts << sheet.Tabs()->tabText(i);
    return texts;
}

// A record the General page accepts as it stands, with every other block
// filled with a pattern no page would write.
EmulatorOptions AcceptableRecord() {
    EmulatorOptions rec;
    auto* bytes = reinterpret_cast<unsigned char*>(&rec);
    for (size_t i = 0; i < sizeof rec; ++i)
        bytes[i] = static_cast<unsigned char>(i * 7 + 3);
    std::memset(&rec.general, 0, sizeof rec.general);
    SetField(rec.general.name, "vm1");
    SetField(rec.general.target, "board");
    SetField(rec.general.cpu, "cpu0");
    SetField(rec.general.memType, "MB");
    SetField(rec.general.tapAdapter, "tap0");
    rec.general.memSize = 64;
    rec.general.displayEnable = 1;
    return rec;
}

void ScriptBackendFor(const EmulatorOptions& defaults) {
    TestBackend::Reset();
    TestBackend::SetDefaultRecord(defaults);
    TestBackend::SetList("GetEmulatorTarget", {"board"});
    TestBackend::SetList("GetEmulatorCPU", {"cpu0"});
    TestBackend::SetList("GetMemType", {"MB"});
    TestBackend::SetList("RefreshTapNetWork", {"tap0"});
    TestBackend::SetList("EnumAllEmulator", {});
    TestBackend::SetArch("board", "arm");
}

} // namespace

class TestSheet : public QObject {
    Q_OBJECT
private slots:

    void okAtOnceAppliesOnlyTheFirstPage() {
        QStringList log;
        CFakeSheet sheet(&log);
        const int result = RunModal(sheet, [](QDialog* modal) { Click(modal, IDOK); });
        QCOMPARE(result, IDOK);
        QCOMPARE(log, QStringList({"init:0", "leave:0", "ok:0"}));
    }

    void tabSwitch_data() {
        Columns<Trigger, bool>("how", "refuse");
        const std::pair<const char*, Trigger> triggers[] = {{"api", Trigger::Api},
                                                            {"mouse", Trigger::MouseClick},
                                                            {"ctrl+tab", Trigger::CtrlTab},
                                                            {"arrow key", Trigger::ArrowOnTabBar}};
        for (const auto& [name, how] : triggers) {
            QTest::addRow("%s, accepted", name) << how << false;
            QTest::addRow("%s, refused", name) << how << true;
        }
    }

    void tabSwitch() {
        auto [how, refuse] = Fetch<Trigger, bool>("how", "refuse");
        QStringList log;
        CFakeSheet sheet(&log);
        sheet.show();
        QVERIFY(QTest::qWaitForWindowExposed(&sheet));
        sheet.Page(0)->refuse = refuse;

        AskForTab(sheet, how, 1);
        QTest::qWait(50); // let whatever became visible be painted

        const int expected = refuse ? 0 : 1;
        QCOMPARE(sheet.ActivePage(), expected);
        QCOMPARE(sheet.Tabs()->currentIndex(), expected);
        QCOMPARE(sheet.Tabs()->tabBar()->currentIndex(), expected);
        QCOMPARE(sheet.Page(0)->isVisible(), refuse);
        QCOMPARE(sheet.Page(1)->isVisible(), !refuse);
        QCOMPARE(sheet.Page(1)->IsCreated(), !refuse);
        // A refused page was never on screen, not even for a moment.
        QCOMPARE(sheet.Page(1)->paints > 0, !refuse);
        QStringList wanted{"init:0", "leave:0"};
        if (!refuse)
            wanted << "init:1";
        QCOMPARE(log, wanted);
    }

    void startPageChosenBeforeOpening() {
        QStringList log;
        CFakeSheet sheet(&log);
        QVERIFY(sheet.SetActivePage(2));
        QVERIFY(log.isEmpty());
        sheet.show();
        QCOMPARE(sheet.ActivePage(), 2);
        QCOMPARE(sheet.Tabs()->currentIndex(), 2);
        QCOMPARE(log, QStringList({"init:2"}));
    }

    void pagesAreCreatedOnce() {
        QStringList log;
        CFakeSheet sheet(&log);
        sheet.show();
        sheet.Page(0)->editor->setPlainText(QStringLiteral("typed"));
        QVERIFY(sheet.SetActivePage(2));
        QVERIFY(sheet.SetActivePage(0));
        QVERIFY(sheet.SetActivePage(2));
        QVERIFY(sheet.SetActivePage(2)); // already there: nothing asked
        QVERIFY(!sheet.SetActivePage(4));
        QVERIFY(!sheet.SetActivePage(-1));
        QCOMPARE(log, QStringList({"init:0", "leave:0", "init:2", "leave:2", "leave:0"}));
        // What a page showed survives a switch.
        QCOMPARE(sheet.Page(0)->editor->toPlainText(), QStringLiteral("typed"));
        QVERIFY(!sheet.Page(1)->IsCreated());
        QVERIFY(!sheet.Page(3)->IsCreated());
    }

    void okRefusedByCurrentPageKeepsSheetOpen() {
        QStringList log;
        CFakeSheet sheet(&log);
        bool openAfterRefusal = false;
        const int result = RunModal(sheet, [&](QDialog* modal) {
            QVERIFY(sheet.SetActivePage(1));
            sheet.Page(1)->refuse = true;
            Click(modal, IDOK);
            QCoreApplication::processEvents();
            openAfterRefusal = modal->isVisible() && sheet.ActivePage() == 1;
            sheet.Page(1)->refuse = false;
            Click(modal, IDOK);
        });
        QVERIFY(openAfterRefusal);
        QCOMPARE(result, IDOK);
        QCOMPARE(log, QStringList(
                          {"init:0", "leave:0", "init:1", "leave:1", "leave:1", "ok:0", "ok:1"}));
    }

    void okValidatesOnlyTheCurrentPage() {
        QStringList log;
        CFakeSheet sheet(&log);
        const int result = RunModal(sheet, [&](QDialog* modal) {
            QVERIFY(sheet.SetActivePage(2));
            QVERIFY(sheet.SetActivePage(0));
            // Would refuse, but neither is current.
            sheet.Page(1)->refuse = true;
            sheet.Page(2)->refuse = true;
            Click(modal, IDOK);
        });
        QCOMPARE(result, IDOK);
        QCOMPARE(log, QStringList(
                          {"init:0", "leave:0", "init:2", "leave:2", "leave:0", "ok:0", "ok:2"}));
    }

    void cancelWritesNothing_data() {
        Columns<bool, bool>("closeBox", "visitSecondPage");
        Row("cancel button", false, false);
        Row("cancel button after a second page", false, true);
        Row("close box", true, false);
        Row("close box after a second page", true, true);
    }

    void cancelWritesNothing() {
        auto [closeBox, visitSecondPage] = Fetch<bool, bool>("closeBox", "visitSecondPage");
        QStringList log;
        CFakeSheet sheet(&log);
        const int result = RunModal(sheet, [&](QDialog* modal) {
            if (visitSecondPage)
                QVERIFY(sheet.SetActivePage(1));
            if (closeBox)
                modal->close();
            else
                Click(modal, IDCANCEL);
        });
        QCOMPARE(result, IDCANCEL);
        QVERIFY(!log.join(' ').contains(QStringLiteral("ok:")));
        QCOMPARE(log.count(QStringLiteral("leave:0")), visitSecondPage ? 1 : 0);
        QCOMPARE(log.count(QStringLiteral("leave:1")), 0);
    }

    void enterAndEscapeDoNothing_data() {
        Columns<QString, int>("target", "key");
        const char* targets[] = {"sheet",   "OK button",       "Cancel button",
                                 "tab bar", "multi-line edit", "page"};
        const std::pair<const char*, int> keys[] = {
            {"Return", Qt::Key_Return}, {"Enter", Qt::Key_Enter}, {"Escape", Qt::Key_Escape}};
        for (const char* target : targets) {
            for (const auto& [name, key] : keys)
                QTest::addRow("%s, %s", target, name) << QString::fromLatin1(target) << key;
        }
    }

    void enterAndEscapeDoNothing() {
        auto [target, key] = Fetch<QString, int>("target", "key");
        QStringList log;
        CFakeSheet sheet(&log);
        bool stillOpen = false;
        QString editorText;
        const int result = RunModal(sheet, [&](QDialog* modal) {
            QWidget* to = modal;
            if (target == QLatin1String("OK button"))
                to = Button(modal, IDOK);
            else if (target == QLatin1String("Cancel button"))
                to = Button(modal, IDCANCEL);
            else if (target == QLatin1String("tab bar"))
                to = sheet.Tabs()->tabBar();
            else if (target == QLatin1String("multi-line edit"))
                to = sheet.Page(0)->editor;
            else if (target == QLatin1String("page"))
                to = sheet.Page(0);
            to->setFocus();
            QTest::keyClick(to, static_cast<Qt::Key>(key));
            QCoreApplication::processEvents();
            stillOpen = modal->isVisible();
            editorText = sheet.Page(0)->editor->toPlainText();
            Click(modal, IDCANCEL);
        });
        QVERIFY(stillOpen);
        QCOMPARE(editorText, QStringLiteral("line"));
        QCOMPARE(result, IDCANCEL);
        QCOMPARE(log, QStringList({"init:0"}));
    }

    void languagePasses() {
        {
            CMapLanguage lang({{"-1", "Own caption"}, {"EMUL_DISK", "Platte"}, {"1", "Fine"}});
            QStringList log;
            CFakeSheet sheet(&log);
            sheet.show();
            QCOMPARE(sheet.windowTitle(), QStringLiteral("Own caption"));
            QCOMPARE(TabTexts(sheet), QStringList({"General", "Platte", "Peripherals", "OS"}));
            QCOMPARE(Button(&sheet, IDOK)->text(), QStringLiteral("Fine"));
            QCOMPARE(lang.Text("1"), std::string("Fine"));
            QCOMPARE(lang.Text("2"), std::string("Cancel"));
            QCOMPARE(lang.Text("-1"), std::string("Own caption"));
            QCOMPARE(lang.Text("EMUL_GEN"), std::string("General"));
            QCOMPARE(lang.Text("EMUL_OS"), std::string("OS"));
            // Pages live inside the tab control, not beside the buttons.
            QVERIFY(!lang.Has(std::to_string(kInnerCaptionId)));
            QVERIFY(!lang.Has(std::to_string(kTabControlId)));
        }
        {
            CMapLanguage lang;
            QStringList log;
            CFakeSheet sheet(&log);
            sheet.show();
            QCOMPARE(sheet.windowTitle(), QStringLiteral("Fake sheet"));
            // The sheet's own caption is never collected.
            QVERIFY(!lang.Has("-1"));
            QCOMPARE(lang.Text("1"), std::string("OK"));
            QCOMPARE(lang.Text("2"), std::string("Cancel"));
            QCOMPARE(lang.Text("EMUL_PERI"), std::string("Peripherals"));
        }
    }

    void okAndCancelOnly() {
        CMapLanguage lang;
        EmulatorOptions rec{};
        CEmulatorDlg sheet("Title", &rec);
        sheet.show();
        QVERIFY(QTest::qWaitForWindowExposed(&sheet));

        QList<int32_t> ids;
        QStringList texts;
        for (QAbstractButton* b :
             sheet.findChildren<QAbstractButton*>(Qt::FindDirectChildrenOnly)) {
            ids << GetDlgCtrlID(b);
            texts << b->text();
        }
        QCOMPARE(ids, QList<int32_t>({IDOK, IDCANCEL}));
        QCOMPARE(texts, QStringList({"OK", "Cancel"}));
        QCOMPARE(GetDlgItem(&sheet, kTabControlId), static_cast<QWidget*>(sheet.Tabs()));
        QCOMPARE(GetWindowText(sheet.Tabs()), std::string());
        QCOMPARE(TabTexts(sheet), QStringList({"General", "Disk", "Peripherals", "OS"}));

        const std::vector<CEmulPropertyPage*> pages = sheet.Pages();
        QCOMPARE(pages.size(), size_t(4));
        QVERIFY(dynamic_cast<CEmulatorDev*>(pages[0]));
        QVERIFY(dynamic_cast<CEmulatorDisk*>(pages[1]));
        QVERIFY(dynamic_cast<CEmulatorPeri*>(pages[2]));
        QVERIFY(dynamic_cast<CEmulatorOS*>(pages[3]));
        QVERIFY(pages[0]->IsCreated());
        QVERIFY(!pages[1]->IsCreated());

        // Fixed size, with room for a whole page.
        QCOMPARE(sheet.minimumSize(), sheet.maximumSize());
        QVERIFY(pages[0]->width() >= pages[0]->sizeHint().width());
        QVERIFY(pages[0]->height() >= pages[0]->sizeHint().height());
        QCOMPARE(pages[0]->sizeHint(),
                 DialogUnits::ForFont(DialogFont(*FindDialogTemplate(res::General::id)))
                     .ToPixels(0, 0, 316, 213)
                     .size());
    }

    void realSheetOkWritesOnlyGeneralBlock() {
        QVERIFY(TestBackend::Load());
        CMapLanguage lang;
        ScriptBackendFor(AcceptableRecord());
        EmulatorOptions rec{};
        Emu::SetEmulatorOptDefault(nullptr, &rec);
        const EmulatorOptions before = rec;
        TestBackend::ClearLog();

        CEmulatorDlg sheet("Create New Virtual Machine", &rec);
        QString unexpectedMessage;
        const int result = RunModal(sheet, [&](QDialog* modal) {
            // A message box here means a page refused: record it and go on.
            QTimer::singleShot(3000, &sheet, [&] {
                if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
                    unexpectedMessage = box->text();
                    box->accept();
                }
            });
            Click(modal, IDOK);
        });
        QCOMPARE(unexpectedMessage, QString());
        QCOMPARE(result, IDOK);
        const auto* now = reinterpret_cast<const char*>(&rec);
        const auto* old = reinterpret_cast<const char*>(&before);
        const size_t general = sizeof(GeneralOptions);
        QVERIFY2(std::memcmp(now + general, old + general, sizeof rec - general) == 0,
                 "a page never shown wrote its block");
        QCOMPARE(QByteArray(rec.general.arch), QByteArray("arm"));
        QCOMPARE(QByteArray(rec.general.name), QByteArray("vm1"));
    }
};

QTEST_MAIN(TestSheet)
#include "tst_sheet.moc"
