// The shared set-up steps of template windows: building and translating.
#include "MapLangManager.h"
#include "dialog/DialogTemplate.h"
#include "dialog/TemplateWindow.h"

#include <QLabel>
#include <QPushButton>
#include <QTest>

class TestTemplateWindow : public QObject {
    Q_OBJECT
private slots:
    void init() { g_pLangManager = nullptr; }
    void cleanup() { g_pLangManager = nullptr; }

    void missingTemplateLeavesTheWindowEmpty() {
        QWidget w;
        w.resize(123, 45);
        w.setWindowTitle(QStringLiteral("before"));
        QVERIFY(!BuildFromTemplate(&w, 133));
        QVERIFY(!BuildFromTemplate(&w, -1));
        QVERIFY(DirectChildren(&w).empty());
        QCOMPARE(w.size(), QSize(123, 45));
        QCOMPARE(w.windowTitle(), QStringLiteral("before"));
        QVERIFY(!BuildFromTemplate(nullptr, 136));
    }

    void everyTemplateBuildsAtItsClientSize() {
        for (const DialogTemplate* t : AllDialogTemplates()) {
            QWidget w;
            QVERIFY(BuildFromTemplate(&w, t->id));
            QCOMPARE(w.size(), TemplateClientSize(*t));
            QCOMPARE(DirectChildren(&w).size(), t->controls.size());
        }
    }

    void factoryReplacesOnlyWhatItMakes() {
        QLabel* made = nullptr;
        QWidget w;
        QVERIFY(BuildFromTemplate(&w, 136, [&](const ControlTemplate& c, QWidget* parent) {
            if (c.id != 1)
                return static_cast<QWidget*>(nullptr);
            made = new QLabel(parent);
            return static_cast<QWidget*>(made);
        }));
        QVERIFY(made);
        QCOMPARE(GetDlgItem(&w, 1), made);
        QVERIFY(!made->geometry().isEmpty());
        QVERIFY(qobject_cast<QPushButton*>(GetDlgItem(&w, 2)));
    }

    void noManagerChangesNothing() {
        QWidget w;
        QVERIFY(BuildFromTemplate(&w, 136));
        TranslateWindow(&w, 136);
        QCOMPARE(w.windowTitle(), QStringLiteral("Install TapNetwrok Driver"));
        QCOMPARE(GetWindowText(GetDlgItem(&w, 1)), std::string("Install"));
    }

    void entriesShowAndAreWrittenBackAsTheyStand() {
        CMapLangManager m;
        m.texts["136"] = "Treiber";
        m.texts["2"] = "Abbrechen";
        g_pLangManager = &m;
        QWidget w;
        QVERIFY(BuildFromTemplate(&w, 136));
        TranslateWindow(&w, 136);
        QCOMPARE(w.windowTitle(), QStringLiteral("Treiber"));
        QCOMPARE(GetWindowText(GetDlgItem(&w, 2)), std::string("Abbrechen"));
        // Collected after applying: a translation is never overwritten by
        // the template's own caption.
        QCOMPARE(m.texts["136"], std::string("Treiber"));
        QCOMPARE(m.texts["2"], std::string("Abbrechen"));
        QCOMPARE(m.texts["1"], std::string("Install"));
        QCOMPARE(m.texts.size(), size_t(3));
    }

    void keyMinusOneStoresOnlyTheChildren() {
        CMapLangManager m;
        g_pLangManager = &m;
        QWidget w;
        QVERIFY(BuildFromTemplate(&w, 137));
        TranslateWindow(&w, -1);
        QCOMPARE(m.texts.count("-1"), size_t(0));
        QCOMPARE(m.texts.count("137"), size_t(0));
        QCOMPARE(m.texts.count("1"), size_t(1));
        TranslateWindow(nullptr, 137);
        QCOMPARE(m.texts.count("137"), size_t(0));
    }
};

QTEST_MAIN(TestTemplateWindow)
#include "tst_templatewindow.moc"
