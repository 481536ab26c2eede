// The TAP driver install dialog (136) and the adapter rename dialog (137).
#include "GeneralFixture.h"
#include "ModalDriver.h"
#include "config/TapDrvVerDlg.h"
#include "config/TapNewNameDlg.h"

using namespace general_test;

class TestTapDialogs : public QObject {
    Q_OBJECT

    ScratchProgram m_program;

private slots:
    void initTestCase() { QVERIFY(m_program.Start()); }
    void cleanupTestCase() { m_program.Stop(); }
    void init() { TestBackend::Reset(); }

    // Runs first: with no "1"/"2" yet, the template captions show and are recorded.
    void firstRunRecordsTemplateCaptions() {
        QString caption, ok, cancel;
        OnNextModal([&](QWidget* dlg) {
            caption = dlg->windowTitle();
            ok = FromLocal(GetWindowText(GetDlgItem(dlg, 1)));
            cancel = FromLocal(GetWindowText(GetDlgItem(dlg, 2)));
            Click(dlg, 2);
        });
        CTapDrvVerDlg dlg;
        QCOMPARE(dlg.DoModal(), 2);
        QCOMPARE(caption, QString("Install TapNetwrok Driver"));
        QCOMPARE(ok, QString("Install"));
        QCOMPARE(cancel, QString("Cancel"));
        std::string text;
        QVERIFY(g_pLangManager->GetTextById(136, text));
        QCOMPARE(text, std::string("Install TapNetwrok Driver"));
        QVERIFY(g_pLangManager->GetTextById(1, text));
        QCOMPARE(text, std::string("Install"));
    }

    void sharedButtonKeys_data() {
        QTest::addColumn<int>("dialog");
        QTest::addColumn<QString>("caption");
        QTest::newRow("install") << 136 << "Install TapNetwrok Driver";
        QTest::newRow("rename") << 137 << "Rename Tap Network";
    }
    void sharedButtonKeys() {
        QFETCH(int, dialog);
        QFETCH(QString, caption);
        g_pLangManager->SetTextById(1, "OK");
        g_pLangManager->SetTextById(2, "Abbrechen");
        QString title, ok, cancel;
        OnNextModal([&](QWidget* dlg) {
            title = dlg->windowTitle();
            ok = FromLocal(GetWindowText(GetDlgItem(dlg, 1)));
            cancel = FromLocal(GetWindowText(GetDlgItem(dlg, 2)));
            Click(dlg, 2);
        });
        std::unique_ptr<CTemplateDialog> dlg;
        if (dialog == 136)
            dlg = std::make_unique<CTapDrvVerDlg>();
        else
            dlg = std::make_unique<CTapNewNameDlg>();
        QCOMPARE(dlg->DoModal(), 2);
        QCOMPARE(title, caption);
        QCOMPARE(ok, QString("OK"));
        QCOMPARE(cancel, QString("Abbrechen"));
    }

    void driverVersion_data() {
        QTest::addColumn<QStringList>("versions");
        QTest::addColumn<int>("choose");  // -1: leave the initial selection
        QTest::addColumn<QString>("how"); // button, enter, escape
        QTest::addColumn<int>("result");
        QTest::addColumn<QString>("version");
        const QStringList two{"9.21.2", "9.24.6"};
        QTest::newRow("first preselected") << two << -1 << "button" << 1 << "9.21.2";
        QTest::newRow("second chosen") << two << 1 << "button" << 1 << "9.24.6";
        QTest::newRow("enter is install") << two << 1 << "enter" << 1 << "9.24.6";
        QTest::newRow("escape cancels") << two << 1 << "escape" << 2 << "";
        QTest::newRow("none listed") << QStringList{} << -1 << "button" << 1 << "";
    }
    void driverVersion() {
        QFETCH(QStringList, versions);
        QFETCH(int, choose);
        QFETCH(QString, how);
        QFETCH(int, result);
        QFETCH(QString, version);
        TestBackend::SetList("GetTapDrvVer", ToLocalList(versions));
        QStringList shown;
        OnNextModal([&](QWidget* dlg) {
            shown = Items(dlg, res::InstallTap::Version::id);
            auto* combo = Ctl<QComboBox>(dlg, res::InstallTap::Version::id);
            if (choose >= 0)
                combo->setCurrentIndex(choose);
            if (how == "button")
                Click(dlg, 1);
            else
                QTest::keyClick(combo, how == "enter" ? Qt::Key_Return : Qt::Key_Escape);
        });
        CTapDrvVerDlg dlg;
        QCOMPARE(dlg.DoModal(), result);
        QCOMPARE(shown, versions);
        if (result == 1)
            QCOMPARE(FromLocal(dlg.GetDrvVer()), version);
    }

    void newName_data() {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("how");
        QTest::addColumn<int>("result");
        QTest::newRow("blanks kept") << "  my tap  "
                                     << "button" << 1;
        QTest::newRow("empty accepted") << ""
                                        << "button" << 1;
        QTest::newRow("enter is OK") << "tap9"
                                     << "enter" << 1;
        QTest::newRow("escape cancels") << "tap9"
                                        << "escape" << 2;
        QTest::newRow("cancel button") << "tap9"
                                       << "cancel" << 2;
    }
    void newName() {
        QFETCH(QString, typed);
        QFETCH(QString, how);
        QFETCH(int, result);
        bool startedEmpty = false;
        OnNextModal([&](QWidget* dlg) {
            auto* edit = Ctl<QLineEdit>(dlg, res::RenameTap::NewName::id);
            startedEmpty = edit->text().isEmpty();
            edit->setFocus();
            QTest::keyClicks(edit, typed);
            if (how == "button")
                Click(dlg, 1);
            else if (how == "cancel")
                Click(dlg, 2);
            else
                QTest::keyClick(edit, how == "enter" ? Qt::Key_Return : Qt::Key_Escape);
        });
        CTapNewNameDlg dlg;
        QCOMPARE(dlg.DoModal(), result);
        QVERIFY(startedEmpty);
        if (result == 1)
            QCOMPARE(FromLocal(dlg.GetNewName()), typed);
        QVERIFY(TestBackend::CallNames().empty());
    }
};

QTEST_MAIN(TestTapDialogs)
#include "tst_tapdialogs.moc"
