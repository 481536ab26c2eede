// Template windows and modal template dialogs, the Enter/Escape filter and
// the message box.
#include "DialogTestSupport.h"
#include "MapLangManager.h"
#include "ModalDriver.h"
#include "TestRow.h"
#include "dialog/DlgItem.h"
#include "dialog/KeyFilter.h"
#include "dialog/MessageBox.h"
#include "dialog/TemplateDialog.h"
#include "dialog/TemplateWindow.h"
#include "dialog/WidgetText.h"
#include "res/DialogIds.h"

#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>

namespace {

using Tap = res::InstallTap;

// The install dialog's shape: a combo box bound to a copy, buttons 1 and 2.
class CProbeDlg : public CTemplateDialog {
public:
    CProbeDlg() : CTemplateDialog(Tap::id) {}
    std::string m_strChoice = "beta";
    int inits = 0;
    int oks = 0;
    bool refuseCancel = false;

protected:
    void DoDataExchange(CDataExchange& dx) override {
        DDX_CBString(dx, Tap::Version::id, m_strChoice);
    }
    bool OnInitDialog() override {
        ++inits;
        CTemplateDialog::OnInitDialog();
        auto* combo = GetDlgItem<Tap::Version>(this);
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

constexpr int32_t kNoTemplate = 133;
const std::string kOkKey = std::to_string(Tap::Ok::id);
const std::string kCancelKey = std::to_string(Tap::Cancel::id);

QComboBox* Combo(QWidget* dlg) {
    return GetDlgItem<Tap::Version>(dlg);
}

} // namespace

class TestTemplateDialog : public QObject {
    Q_OBJECT
private slots:
    void init() { g_pLangManager = nullptr; }
    void cleanup() { g_pLangManager = nullptr; }

    // Every way of ending: OK pulls the changed choice, Cancel leaves the copy.
    void endings_data() {
        QTest::addColumn<int>("how");
        QTest::addColumn<int>("result");
        Row("Install button", 0, IDOK);
        Row("Cancel button", 1, IDCANCEL);
        Row("Return", 2, IDOK);
        Row("Enter", 3, IDOK);
        Row("Escape", 4, IDCANCEL);
        Row("close box", 5, IDCANCEL);
        Row("Return on the combo box", 6, IDOK);
        Row("Return on the focused Cancel button", 7, IDCANCEL);
        Row("Return on the focused Install button", 8, IDOK);
    }
    void endings() {
        QFETCH(int, how);
        QFETCH(int, result);
        CProbeDlg dlg;
        OnNextModal([how](QWidget* m) {
            QCOMPARE(Combo(m)->currentText(), QStringLiteral("beta"));
            Combo(m)->setCurrentIndex(2);
            switch (how) {
            case 0:
            case 1:
                MouseClick(m, how == 0 ? Tap::Ok::id : Tap::Cancel::id);
                break;
            case 2:
                QTest::keyClick(m, Qt::Key_Return);
                break;
            case 3:
                QTest::keyClick(m, Qt::Key_Enter, Qt::KeypadModifier);
                break;
            case 4:
                QTest::keyClick(m, Qt::Key_Escape);
                break;
            case 5:
                m->close();
                break;
            case 6:
                QTest::keyClick(Combo(m), Qt::Key_Return);
                break;
            default: {
                QWidget* button = GetDlgItem(m, how == 7 ? Tap::Cancel::id : Tap::Ok::id);
                button->setFocus();
                QTest::keyClick(button, Qt::Key_Return);
            }
            }
        });
        QCOMPARE(dlg.DoModal(), result);
        QCOMPARE(dlg.oks, result == IDOK ? 1 : 0);
        QCOMPARE(dlg.m_strChoice, std::string(result == IDOK ? "gamma" : "beta"));
    }

    void refusedCancelKeepsTheDialogOpen() {
        CProbeDlg dlg;
        dlg.refuseCancel = true;
        bool stillOpen = false;
        OnNextModal([&](QWidget* m) {
            m->close();
            QTest::keyClick(m, Qt::Key_Escape);
            stillOpen = m->isVisible();
            MouseClick(m, Tap::Ok::id);
        });
        QCOMPARE(dlg.DoModal(), IDOK);
        QVERIFY(stillOpen);
    }

    void builtOnceInitialisedPerRun() {
        CProbeDlg dlg;
        for (int run = 0; run < 2; ++run) {
            OnNextModal([](QWidget* m) { MouseClick(m, Tap::Cancel::id); });
            QCOMPARE(dlg.DoModal(), IDCANCEL);
        }
        QCOMPARE(dlg.inits, 2);
        QCOMPARE(DirectChildren(&dlg).size(), size_t(3));
        QCOMPARE(Combo(&dlg)->count(), 3);
    }

    void languagePassesRunWithTheTemplateId() {
        CMapLangManager m;
        m.texts[kCancelKey] = "Abbrechen";
        g_pLangManager = &m;
        CProbeDlg dlg;
        QString cancelCaption;
        OnNextModal([&](QWidget* d) {
            cancelCaption = Button(d, Tap::Cancel::id)->text();
            MouseClick(d, Tap::Cancel::id);
        });
        dlg.DoModal();
        QCOMPARE(cancelCaption, QStringLiteral("Abbrechen"));
        QCOMPARE(m.texts[std::to_string(Tap::id)], std::string("Install TapNetwrok Driver"));
        QCOMPARE(m.texts[kOkKey], std::string("Install"));
        QCOMPARE(m.texts[kCancelKey], std::string("Abbrechen"));
        QCOMPARE(m.texts.size(), size_t(3));
        QCOMPARE(dlg.TemplateId(), Tap::id);
    }

    // The set-up steps alone: a missing template or window builds nothing, a
    // factory replaces only what it makes, and translating needs both a window
    // and a language manager.
    void buildAndTranslateSteps() {
        QWidget w;
        w.resize(123, 45);
        w.setWindowTitle(QStringLiteral("before"));
        QVERIFY(!BuildFromTemplate(&w, kNoTemplate));
        QVERIFY(!BuildFromTemplate(&w, -1));
        QVERIFY(DirectChildren(&w).empty());
        QCOMPARE(w.size(), QSize(123, 45));
        QCOMPARE(w.windowTitle(), QStringLiteral("before"));
        QVERIFY(!BuildFromTemplate(nullptr, Tap::id));

        QLabel* made = nullptr;
        QVERIFY(BuildFromTemplate(&w, Tap::id, [&](const ControlTemplate& c, QWidget* parent) {
            return c.id == Tap::Cancel::id ? made = new QLabel(parent) : nullptr;
        }));
        QVERIFY(made);
        QCOMPARE(GetDlgItem(&w, Tap::Cancel::id), made);
        QVERIFY(!made->geometry().isEmpty());
        QVERIFY(qobject_cast<QPushButton*>(GetDlgItem(&w, Tap::Ok::id)));

        TranslateWindow(&w, Tap::id); // no language manager: nothing changes
        QCOMPARE(w.windowTitle(), QStringLiteral("Install TapNetwrok Driver"));
        QCOMPARE(GetWindowText(GetDlgItem(&w, Tap::Ok::id)), std::string("Install"));
        CMapLangManager m;
        g_pLangManager = &m;
        TranslateWindow(nullptr, res::RenameTap::id);
        QVERIFY(m.texts.empty());
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
            MouseClick(outer, Tap::Ok::id);
        });
        QCOMPARE(dlg.DoModal(), IDOK);
        QVERIFY(sawOpen);
        QCOMPARE(inner, QStringLiteral("nested"));
    }
};

QTEST_MAIN(TestTemplateDialog)
#include "tst_templatedialog.moc"
