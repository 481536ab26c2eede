// The TAP driver install dialog and the adapter rename dialog.
#include "../ConfigFixture.h"
#include "config/TapDrvVerDlg.h"
#include "config/TapNewNameDlg.h"

using namespace config_test;

class TestTapDialogs : public QObject {
    Q_OBJECT

    ScratchProgram m_program;

private slots:
    void initTestCase() { QVERIFY(m_program.Start()); }
    void cleanupTestCase() { m_program.Stop(); }
    void init() { TestBackend::Reset(); }

    // The first run, with no "1"/"2" yet, shows and records the template's
    // captions; then both dialogs take those shared keys.
    void buttonCaptions_data() {
        Columns<int, QString, QStringList>("dialog", "title", "shared");
        Row("install, first run", res::InstallTap::id, "Install TapNetwrok Driver", QStringList{});
        Row("install", res::InstallTap::id, "Install TapNetwrok Driver",
            QStringList{"OK", "Abbrechen"});
        Row("rename", res::RenameTap::id, "Rename Tap Network", QStringList{"OK", "Abbrechen"});
    }
    void buttonCaptions() {
        auto [dialog, title, shared] =
            Fetch<int, QString, QStringList>("dialog", "title", "shared");
        if (!shared.isEmpty()) {
            g_pLangManager->SetTextById(IDOK, ToLocal(shared[0]));
            g_pLangManager->SetTextById(IDCANCEL, ToLocal(shared[1]));
        }
        QStringList shown;
        OnNextModal([&](QWidget* dlg) {
            shown << dlg->windowTitle();
            for (const int32_t id : {IDOK, IDCANCEL})
                shown << FromLocal(GetWindowText(Button(dlg, id)));
            Click(dlg, IDCANCEL);
        });
        std::unique_ptr<CTemplateDialog> dlg;
        if (dialog == res::InstallTap::id)
            dlg = std::make_unique<CTapDrvVerDlg>();
        else
            dlg = std::make_unique<CTapNewNameDlg>();
        QCOMPARE(dlg->DoModal(), IDCANCEL);
        QCOMPARE(shown, QStringList({title}) +
                            (shared.isEmpty() ? QStringList{"Install", "Cancel"} : shared));
        if (shared.isEmpty()) {
            std::string text;
            QVERIFY(g_pLangManager->GetTextById(res::InstallTap::id, text));
            QCOMPARE(text, std::string("Install TapNetwrok Driver"));
            QVERIFY(g_pLangManager->GetTextById(IDOK, text));
            QCOMPARE(text, std::string("Install"));
        }
    }

    void driverVersion_data() {
        // choose: -1 leaves the initial selection; how: button, enter, escape.
        Columns<QStringList, int, QString, int, QString>("versions", "choose", "how", "result",
                                                         "version");
        const QStringList two{"9.21.2", "9.24.6"};
        Row("first preselected", two, -1, "button", 1, "9.21.2");
        Row("second chosen", two, 1, "button", 1, "9.24.6");
        Row("enter is install", two, 1, "enter", 1, "9.24.6");
        Row("escape cancels", two, 1, "escape", 2, "");
        Row("none listed", QStringList{}, -1, "button", 1, "");
    }
    void driverVersion() {
        auto [versions, choose, how, result, version] =
            Fetch<QStringList, int, QString, int, QString>("versions", "choose", "how", "result",
                                                           "version");
        TestBackend::SetList("GetTapDrvVer", ToLocalList(versions));
        QStringList shown;
        OnNextModal([&](QWidget* dlg) {
            shown = Items(dlg, res::InstallTap::Version::id);
            auto* combo = Ctl<QComboBox>(dlg, res::InstallTap::Version::id);
            if (choose >= 0)
                combo->setCurrentIndex(choose);
            if (how == "button")
                Click(dlg, IDOK);
            else
                QTest::keyClick(combo, how == "enter" ? Qt::Key_Return : Qt::Key_Escape);
        });
        CTapDrvVerDlg dlg;
        QCOMPARE(dlg.DoModal(), result);
        QCOMPARE(shown, versions);
        if (result == IDOK)
            QCOMPARE(FromLocal(dlg.GetDrvVer()), version);
    }

    void newName_data() {
        Columns<QString, QString, int>("typed", "how", "result");
        Row("blanks kept", "  my tap  ", "button", 1);
        Row("empty accepted", "", "button", 1);
        Row("enter is OK", "tap9", "enter", 1);
        Row("escape cancels", "tap9", "escape", 2);
        Row("cancel button", "tap9", "cancel", 2);
    }
    void newName() {
        auto [typed, how, result] = Fetch<QString, QString, int>("typed", "how", "result");
        bool startedEmpty = false;
        OnNextModal([&](QWidget* dlg) {
            auto* edit = Ctl<QLineEdit>(dlg, res::RenameTap::NewName::id);
            startedEmpty = edit->text().isEmpty();
            edit->setFocus();
            QTest::keyClicks(edit, typed);
            if (how == "button")
                Click(dlg, IDOK);
            else if (how == "cancel")
                Click(dlg, IDCANCEL);
            else
                QTest::keyClick(edit, how == "enter" ? Qt::Key_Return : Qt::Key_Escape);
        });
        CTapNewNameDlg dlg;
        QCOMPARE(dlg.DoModal(), result);
        QVERIFY(startedEmpty);
        if (result == IDOK)
            QCOMPARE(FromLocal(dlg.GetNewName()), typed);
        QVERIFY(TestBackend::CallNames().empty());
    }
};

QTEST_MAIN(TestTapDialogs)
#include "tst_tapdialogs.moc"
