// Modal template dialogs, the Enter/Escape filter and the message box.
#include "DialogTestSupport.h"
#include "MapLangManager.h"
#include "ModalDriver.h"
#include "dialog/DlgItem.h"
#include "dialog/KeyFilter.h"
#include "dialog/MessageBox.h"
#include "dialog/TemplateDialog.h"
#include "res/DialogIds.h"

#include <QApplication>
#include <QComboBox>
#include <QLineEdit>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>

namespace {

// The install dialog's shape: a combo box bound to a copy, buttons 1 and 2.
class CProbeDlg : public CTemplateDialog {
public:
    CProbeDlg() : CTemplateDialog(136) {}
    std::string m_strChoice = "beta";
    int inits = 0;
    int oks = 0;
    bool refuseCancel = false;

protected:
    void DoDataExchange(CDataExchange& dx) override {
        DDX_CBString(dx, res::InstallTap::Version::id, m_strChoice);
    }
    bool OnInitDialog() override {
        ++inits;
        CTemplateDialog::OnInitDialog();
        auto* combo = GetDlgItem<res::InstallTap::Version>(this);
        combo->clear();
        combo->addItems({"alpha", "beta", "gamma"});
        UpdateData(false);
        return true;
    }
    void OnOK() override {
        ++oks;
        CTemplateDialog::OnOK();
    }
    void OnCancel() override {
        if (!refuseCancel)
            CTemplateDialog::OnCancel();
    }
};

class CErrorProbe : public CTemplateDialog {
public:
    CErrorProbe() : CTemplateDialog(138) {}
    std::string m_strErrText = "line one\nline two";

protected:
    void DoDataExchange(CDataExchange& dx) override {
        DDX_Text(dx, res::StartError::Text::id, m_strErrText);
    }
};

QComboBox* Combo(QWidget* dlg) {
    return GetDlgItem<res::InstallTap::Version>(dlg);
}

} // namespace

class TestTemplateDialog : public QObject {
    Q_OBJECT
private slots:
    void init() { g_pLangManager = nullptr; }
    void cleanup() { g_pLangManager = nullptr; }

    void okButtonPullsAndEndsWithOk() {
        CProbeDlg dlg;
        OnNextModal([](QWidget* m) {
            QCOMPARE(Combo(m)->currentText(), QStringLiteral("beta"));
            Combo(m)->setCurrentIndex(2);
            Click(m, 1);
        });
        QCOMPARE(dlg.DoModal(), IDOK);
        QCOMPARE(dlg.m_strChoice, std::string("gamma"));
        QCOMPARE(dlg.oks, 1);
    }

    void cancelButtonEndsWithCancelAndPullsNothing() {
        CProbeDlg dlg;
        OnNextModal([](QWidget* m) {
            Combo(m)->setCurrentIndex(0);
            Click(m, 2);
        });
        QCOMPARE(dlg.DoModal(), IDCANCEL);
        QCOMPARE(dlg.m_strChoice, std::string("beta"));
    }

    void keysAndCloseBox_data() {
        QTest::addColumn<int>("how");
        QTest::addColumn<int>("result");
        QTest::newRow("Return") << 0 << IDOK;
        QTest::newRow("Enter") << 1 << IDOK;
        QTest::newRow("Escape") << 2 << IDCANCEL;
        QTest::newRow("close box") << 3 << IDCANCEL;
        QTest::newRow("Return on the combo box") << 4 << IDOK;
        QTest::newRow("Return on the focused Cancel button") << 5 << IDCANCEL;
        QTest::newRow("Return on the focused Install button") << 6 << IDOK;
    }
    void keysAndCloseBox() {
        QFETCH(int, how);
        QFETCH(int, result);
        CProbeDlg dlg;
        OnNextModal([how](QWidget* m) {
            switch (how) {
            case 0:
                QTest::keyClick(m, Qt::Key_Return);
                break;
            case 1:
                QTest::keyClick(m, Qt::Key_Enter, Qt::KeypadModifier);
                break;
            case 2:
                QTest::keyClick(m, Qt::Key_Escape);
                break;
            case 3:
                m->close();
                break;
            case 4:
                QTest::keyClick(Combo(m), Qt::Key_Return);
                break;
            case 5:
            case 6: {
                QWidget* button = GetDlgItem(m, how == 5 ? 2 : 1);
                button->setFocus();
                QTest::keyClick(button, Qt::Key_Return);
                break;
            }
            }
        });
        QCOMPARE(dlg.DoModal(), result);
        QCOMPARE(dlg.oks, result == IDOK ? 1 : 0);
    }

    void refusedCancelKeepsTheDialogOpen() {
        CProbeDlg dlg;
        dlg.refuseCancel = true;
        bool stillOpen = false;
        OnNextModal([&](QWidget* m) {
            m->close();
            QTest::keyClick(m, Qt::Key_Escape);
            stillOpen = m->isVisible();
            Click(m, 1);
        });
        QCOMPARE(dlg.DoModal(), IDOK);
        QVERIFY(stillOpen);
    }

    void builtOnceInitialisedPerRun() {
        CProbeDlg dlg;
        for (int run = 0; run < 2; ++run) {
            OnNextModal([](QWidget* m) { Click(m, 2); });
            QCOMPARE(dlg.DoModal(), IDCANCEL);
        }
        QCOMPARE(dlg.inits, 2);
        QCOMPARE(DirectChildren(&dlg).size(), size_t(3));
        QCOMPARE(Combo(&dlg)->count(), 3);
    }

    void languagePassesRunWithTheTemplateId() {
        CMapLangManager m;
        m.texts["2"] = "Abbrechen";
        g_pLangManager = &m;
        CProbeDlg dlg;
        QString cancelCaption;
        OnNextModal([&](QWidget* d) {
            cancelCaption = qobject_cast<QPushButton*>(GetDlgItem(d, 2))->text();
            Click(d, 2);
        });
        dlg.DoModal();
        QCOMPARE(cancelCaption, QStringLiteral("Abbrechen"));
        QCOMPARE(m.texts["136"], std::string("Install TapNetwrok Driver"));
        QCOMPARE(m.texts["1"], std::string("Install"));
        QCOMPARE(m.texts["2"], std::string("Abbrechen"));
        QCOMPARE(dlg.TemplateId(), 136);
    }

    void enterStaysInTheReadOnlyErrorText() {
        CErrorProbe dlg;
        bool openAfterEnter = false;
        QString shown;
        OnNextModal([&](QWidget* m) {
            auto* text = GetDlgItem<res::StartError::Text>(m);
            shown = text->toPlainText();
            text->setFocus();
            QTest::keyClick(text, Qt::Key_Return);
            openAfterEnter = m->isVisible();
            QTest::keyClick(text, Qt::Key_Escape);
        });
        QCOMPARE(dlg.DoModal(), IDCANCEL);
        QVERIFY(openAfterEnter);
        QCOMPARE(shown, QStringLiteral("line one\nline two"));
    }

    void enterEscapeFilter() {
        QDialog window;
        auto* edit = new QLineEdit(&window);
        auto* button = new QPushButton("go", &window);
        button->setDefault(true);
        new CEnterEscapeFilter(&window);
        QSignalSpy returns(edit, &QLineEdit::returnPressed);
        QSignalSpy clicks(button, &QPushButton::clicked);
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        edit->setFocus();
        for (Qt::Key key : {Qt::Key_Return, Qt::Key_Enter, Qt::Key_Escape}) {
            QTest::keyClick(edit, key);
            QTest::keyClick(&window, key);
        }
        QVERIFY(window.isVisible());
        QCOMPARE(returns.count(), 0);
        QCOMPARE(clicks.count(), 0);
        QTest::keyClick(edit, Qt::Key_A);
        QCOMPARE(edit->text(), QStringLiteral("a"));

        // A message box over the window keeps its Enter.
        bool forced = false;
        OnNextModal([&](QWidget* box) {
            QTest::keyClick(box, Qt::Key_Return);
            QTimer::singleShot(2000, box, [&forced, box] {
                forced = true;
                box->close();
            });
        });
        ShowMessage(&window, "over the window");
        QVERIFY(!forced);
    }

    void filterEndsWithItsWindow() {
        auto* window = new QWidget;
        new CEnterEscapeFilter(window);
        delete window;
        QLineEdit other;
        QSignalSpy returns(&other, &QLineEdit::returnPressed);
        other.show();
        QTest::keyClick(&other, Qt::Key_Return);
        QCOMPARE(returns.count(), 1);
    }

    void messageBox() {
        QCoreApplication::setApplicationName(QString());
        QString title;
        QString text;
        int buttons = 0;
        Qt::TextFormat format = Qt::AutoText;
        OnNextModal([&](QWidget* m) {
            auto* box = qobject_cast<QMessageBox*>(m);
            QVERIFY(box);
            title = box->windowTitle();
            text = box->text();
            buttons = int(box->buttons().size());
            format = box->textFormat();
            box->button(QMessageBox::Ok)->click();
        });
        ShowMessage(nullptr, "Virtual Machine Name <b>a</b> have exist!");
        // Qt names a nameless application after its executable; "Tarnwick" is
        // the fallback for a name that is still empty.
        const QString name = QApplication::applicationName();
        QCOMPARE(title, name.isEmpty() ? QStringLiteral("Tarnwick") : name);
        QCOMPARE(text, QStringLiteral("Virtual Machine Name <b>a</b> have exist!"));
        QCOMPARE(buttons, 1);
        QCOMPARE(format, Qt::PlainText);

        QCoreApplication::setApplicationName("Tarnwick Test");
        QString seen;
        OnNextModal([&](QWidget* m) {
            seen = m->windowTitle();
            qobject_cast<QMessageBox*>(m)->button(QMessageBox::Ok)->click();
        });
        ShowMessage(nullptr, "x");
        QCOMPARE(seen, QStringLiteral("Tarnwick Test"));

        QString accepted;
        AcceptNextMessageBox(&accepted);
        ShowMessage(nullptr, "please choice OS file path");
        QCOMPARE(accepted, QStringLiteral("please choice OS file path"));
        QVERIFY(!AnyModalOpen());
    }

    void modalDriverFailsTheTestWhenNothingOpens() {
        bool called = false;
        QEXPECT_FAIL("", "no modal window is opened here", Continue);
        OnNextModal([&](QWidget*) { called = true; }, 50);
        QTest::qWait(300);
        QVERIFY(!called);
        QVERIFY(!AnyModalOpen());
    }

    void modalDriverNestsAndSeesOnlyNewModals() {
        CProbeDlg dlg;
        bool sawOpen = false;
        QString inner;
        OnNextModal([&](QWidget* outer) {
            sawOpen = AnyModalOpen();
            AcceptNextMessageBox(&inner);
            ShowMessage(outer, "nested");
            Click(outer, 1);
        });
        QCOMPARE(dlg.DoModal(), IDOK);
        QVERIFY(sawOpen);
        QCOMPARE(inner, QStringLiteral("nested"));
    }
};

QTEST_MAIN(TestTemplateDialog)
#include "tst_templatedialog.moc"
