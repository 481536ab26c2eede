// The two language passes over built dialogs.
#include "MapLangManager.h"
#include "dialog/DialogBuilder.h"
#include "dialog/DialogTemplate.h"
#include "dialog/WidgetText.h"

#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QTest>
#include <set>

namespace {

std::unique_ptr<QWidget> Build(int32_t id) {
    auto w = std::make_unique<QWidget>();
    if (const DialogTemplate* t = FindDialogTemplate(id))
        BuildDialog(w.get(), *t);
    return w;
}

void Passes(QWidget* w, CLanguageManger* m, int32_t id) {
    QCOMPARE(ApplyLangTexts(w, m, id), 1);
    QCOMPARE(CollectLangTexts(id, w, m), 1);
}

std::set<std::string> Keys(const CMapLangManager& m) {
    std::set<std::string> keys;
    for (const auto& [k, v] : m.texts)
        keys.insert(k);
    return keys;
}

QString Caption(QWidget* dlg, int32_t id) {
    return QString::fromStdString(GetWindowText(GetDlgItem(dlg, id)));
}

} // namespace

class TestLangTexts : public QObject {
    Q_OBJECT
private slots:
    void firstRunCollectsTemplateCaptions_data() {
        QTest::addColumn<int>("id");
        QTest::addColumn<QStringList>("keys");
        QTest::newRow("main window")
            << 102 << QStringList{"102", "1012", "1002", "1042", "1040", "1044"};
        QTest::newRow("general") << 129 << QStringList{"129",  "1013", "1014", "1015", "1016",
                                                       "1019", "1020", "1021", "1022", "1011",
                                                       "1074", "1023", "1024"};
        QTest::newRow("disk") << 130
                              << QStringList{"130",  "1025", "1010", "1048", "1067", "1029", "1064",
                                             "1030", "1051", "1053", "1069", "1031", "1065"};
        QTest::newRow("peripherals")
            << 131 << QStringList{"131", "1032", "1003", "1033", "1034", "1046", "1052"};
        QTest::newRow("os") << 132 << QStringList{"132", "1035", "1036", "1037", "1038", "1039"};
        QTest::newRow("peripheral") << 135 << QStringList{"135", "1060", "1061", "1057", "1059"};
        QTest::newRow("install") << 136 << QStringList{"136", "1", "2"};
        QTest::newRow("rename") << 137 << QStringList{"137", "1", "2"};
        QTest::newRow("start error") << 138 << QStringList{"138"};
    }
    void firstRunCollectsTemplateCaptions() {
        QFETCH(int, id);
        QFETCH(QStringList, keys);
        CMapLangManager m;
        auto dlg = Build(id);
        Passes(dlg.get(), &m, id);
        std::set<std::string> expected;
        for (const QString& k : keys)
            expected.insert(k.toStdString());
        QCOMPARE(Keys(m), expected);
        // Each key holds its template caption.
        const DialogTemplate* t = FindDialogTemplate(id);
        QCOMPARE(m.texts[std::to_string(id)], t->caption);
        for (const ControlTemplate& c : t->controls)
            if (!c.caption.empty())
                QCOMPARE(m.texts[std::to_string(c.id)], c.caption);
    }

    void entryReplacesCaptionAndIsWrittenBackUnchanged() {
        CMapLangManager m;
        m.texts["1002"] = "neu";
        m.texts["102"] = "Tarnwick Verwaltung";
        auto dlg = Build(102);
        Passes(dlg.get(), &m, 102);
        QCOMPARE(Caption(dlg.get(), 1002), QStringLiteral("neu"));
        QCOMPARE(dlg->windowTitle(), QStringLiteral("Tarnwick Verwaltung"));
        QCOMPARE(m.texts["1002"], std::string("neu"));
        QCOMPARE(m.texts["102"], std::string("Tarnwick Verwaltung"));
        QCOMPARE(m.texts["1040"], std::string("delete"));
    }

    void emptyEntryEmptiesCaptionAndIsNotCollected() {
        CMapLangManager m;
        m.texts["1002"] = "";
        m.texts["102"] = "";
        auto dlg = Build(102);
        Passes(dlg.get(), &m, 102);
        QCOMPARE(Caption(dlg.get(), 1002), QString());
        QCOMPARE(dlg->windowTitle(), QString());
        QCOMPARE(m.texts["1002"], std::string());
        QCOMPARE(m.texts["102"], std::string());
        QCOMPARE(m.sets, 4); // 1012, 1040, 1042, 1044 only
    }

    void minusOneCaptionsSheetAndFramesButIsNeverTheSheetsKey() {
        CMapLangManager m;
        m.texts["-1"] = "Frame";
        auto page = Build(130);
        Passes(page.get(), &m, 130);
        for (QWidget* child : DirectChildren(page.get()))
            if (auto* g = qobject_cast<QGroupBox*>(child))
                QCOMPARE(g->title(), QStringLiteral("Frame"));
        QCOMPARE(m.texts["-1"], std::string("Frame"));

        // A sheet-like window keyed -1: captioned by the entry, never collected.
        QWidget sheet;
        sheet.setWindowTitle("Create New Virtual Machine");
        auto* ok = new QPushButton("OK", &sheet);
        SetDlgCtrlID(ok, 1);
        CMapLangManager fresh;
        Passes(&sheet, &fresh, -1);
        QCOMPARE(Keys(fresh), (std::set<std::string>{"1"}));
        Passes(&sheet, &m, -1);
        QCOMPARE(sheet.windowTitle(), QStringLiteral("Frame"));
        QCOMPARE(m.texts["-1"], std::string("Frame"));

        // With no entry, group boxes have no caption and nothing goes under -1.
        CMapLangManager none;
        auto general = Build(129);
        Passes(general.get(), &none, 129);
        QVERIFY(!none.texts.count("-1"));
    }

    void sharedKeysOneAndTwo() {
        CMapLangManager m;
        auto rename = Build(137);
        Passes(rename.get(), &m, 137);
        QCOMPARE(m.texts["1"], std::string("OK"));
        QCOMPARE(m.texts["2"], std::string("Cancel"));
        auto install = Build(136);
        Passes(install.get(), &m, 136);
        QCOMPARE(Caption(install.get(), 1), QStringLiteral("OK"));
        QCOMPARE(Caption(install.get(), 2), QStringLiteral("Cancel"));
        QCOMPARE(m.texts["1"], std::string("OK"));
    }

    void onlyDirectChildrenAreVisited() {
        CMapLangManager m;
        m.texts["55"] = "changed";
        QWidget window;
        auto* child = new QLabel("child", &window);
        SetDlgCtrlID(child, 54);
        auto* grandchild = new QLabel("grandchild", child);
        SetDlgCtrlID(grandchild, 55);
        Passes(&window, &m, 900);
        QCOMPARE(grandchild->text(), QStringLiteral("grandchild"));
        QCOMPARE(Keys(m), (std::set<std::string>{"54", "55"}));
        QCOMPARE(m.texts["54"], std::string("child"));
        // A widget with no id is keyed 0, like any other.
        auto* unnamed = new QLabel("plain", &window);
        Q_UNUSED(unnamed);
        Passes(&window, &m, 900);
        QCOMPARE(m.texts["0"], std::string("plain"));
    }

    void entriesForCaptionlessControlsChangeNothing() {
        CMapLangManager m;
        m.texts["1005"] = "target";
        m.texts["1001"] = "list";
        auto general = Build(129);
        auto main = Build(102);
        Passes(general.get(), &m, 129);
        Passes(main.get(), &m, 102);
        QCOMPARE(GetWindowText(GetDlgItem(general.get(), 1005)), std::string());
        QCOMPARE(m.texts["1005"], std::string("target"));
        QCOMPARE(m.texts["1001"], std::string("list"));
    }

    void anyBytesApplyWithoutHarm_data() {
        QTest::addColumn<QByteArray>("bytes");
        QTest::newRow("invalid utf-8") << QByteArray("\xFF\xFE\x80 broken \xC3");
        QTest::newRow("control bytes") << QByteArray("\x01\x02\x1B[31m\x7F", 8);
        QTest::newRow("embedded nul") << QByteArray("a\0b", 3);
        QTest::newRow("markup") << QByteArray("<h1>&amp;</h1>");
        QTest::newRow("long") << QByteArray(100000, 'x');
        QTest::newRow("valid multibyte") << QByteArray("\xE6\x96\xB0\xE5\xBB\xBA");
    }
    void anyBytesApplyWithoutHarm() {
        QFETCH(QByteArray, bytes);
        const std::string text(bytes.constData(), size_t(bytes.size()));
        for (const DialogTemplate* t : AllDialogTemplates()) {
            CMapLangManager m;
            m.texts[std::to_string(t->id)] = text;
            for (const ControlTemplate& c : t->controls)
                m.texts[std::to_string(c.id)] = text;
            auto dlg = Build(t->id);
            Passes(dlg.get(), &m, t->id);
            // What was in the file goes back byte for byte.
            for (const auto& [key, value] : m.texts)
                QCOMPARE(value, text);
        }
    }

    void nullArgumentsAreHarmless() {
        CMapLangManager m;
        QCOMPARE(ApplyLangTexts(nullptr, &m, 1), 1);
        QCOMPARE(CollectLangTexts(1, nullptr, &m), 1);
        QWidget w;
        QCOMPARE(ApplyLangTexts(&w, nullptr, 1), 1);
        QCOMPARE(CollectLangTexts(1, &w, nullptr), 1);
        QVERIFY(m.texts.empty());
    }
};

QTEST_MAIN(TestLangTexts)
#include "tst_langtexts.moc"
