// The two language passes over built dialogs.
#include "DialogTestSupport.h"
#include "MapLangManager.h"
#include "dialog/DialogBuilder.h"
#include "dialog/DialogTemplate.h"
#include "dialog/WidgetText.h"
#include "res/DialogIds.h"

#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QTest>
#include <set>

namespace {

std::string Key(int32_t id) {
    return std::to_string(id);
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
        for (const DialogTemplate* t : AllDialogTemplates())
            QTest::newRow(t->name.c_str()) << int(t->id);
    }
    // The dialog's caption and every control caption, each under its id.
    void firstRunCollectsTemplateCaptions() {
        QFETCH(int, id);
        CMapLangManager m;
        auto dlg = Build(id);
        Passes(dlg.get(), &m, id);
        const DialogTemplate* t = FindDialogTemplate(id);
        std::map<std::string, std::string> expected = {{Key(id), t->caption}};
        for (const ControlTemplate& c : t->controls)
            if (!c.caption.empty())
                expected[Key(c.id)] = c.caption;
        QCOMPARE(m.texts, expected);
        QVERIFY(expected.size() > 1 || id == res::StartError::id);
    }

    void entryReplacesCaptionAndIsWrittenBackUnchanged() {
        CMapLangManager m;
        m.texts[Key(res::Main::New::id)] = "neu";
        m.texts[Key(res::Main::id)] = "Tarnwick Verwaltung";
        auto dlg = Build(res::Main::id);
        Passes(dlg.get(), &m, res::Main::id);
        QCOMPARE(Caption(dlg.get(), res::Main::New::id), QStringLiteral("neu"));
        QCOMPARE(dlg->windowTitle(), QStringLiteral("Tarnwick Verwaltung"));
        QCOMPARE(m.texts[Key(res::Main::New::id)], std::string("neu"));
        QCOMPARE(m.texts[Key(res::Main::id)], std::string("Tarnwick Verwaltung"));
        QCOMPARE(m.texts[Key(res::Main::Delete::id)], std::string("delete"));
    }

    void emptyEntryEmptiesCaptionAndIsNotCollected() {
        CMapLangManager m;
        m.texts[Key(res::Main::New::id)] = "";
        m.texts[Key(res::Main::id)] = "";
        auto dlg = Build(res::Main::id);
        Passes(dlg.get(), &m, res::Main::id);
        QCOMPARE(Caption(dlg.get(), res::Main::New::id), QString());
        QCOMPARE(dlg->windowTitle(), QString());
        QCOMPARE(m.texts[Key(res::Main::New::id)], std::string());
        QCOMPARE(m.texts[Key(res::Main::id)], std::string());
        QCOMPARE(m.sets, 4); // the label, delete, edit and start only
    }

    void minusOneCaptionsSheetAndFramesButIsNeverTheSheetsKey() {
        CMapLangManager m;
        m.texts["-1"] = "Frame";
        auto page = Build(res::Disk::id);
        Passes(page.get(), &m, res::Disk::id);
        for (QWidget* child : DirectChildren(page.get()))
            if (auto* g = qobject_cast<QGroupBox*>(child))
                QCOMPARE(g->title(), QStringLiteral("Frame"));
        QCOMPARE(m.texts["-1"], std::string("Frame"));

        // A sheet-like window keyed -1: captioned by the entry, never collected.
        QWidget sheet;
        sheet.setWindowTitle("Create New Virtual Machine");
        auto* ok = new QPushButton("OK", &sheet);
        SetDlgCtrlID(ok, res::RenameTap::Ok::id);
        CMapLangManager fresh;
        Passes(&sheet, &fresh, -1);
        QCOMPARE(Keys(fresh), (std::set<std::string>{Key(res::RenameTap::Ok::id)}));
        Passes(&sheet, &m, -1);
        QCOMPARE(sheet.windowTitle(), QStringLiteral("Frame"));
        QCOMPARE(m.texts["-1"], std::string("Frame"));

        // With no entry, group boxes have no caption and nothing goes under -1.
        CMapLangManager none;
        auto general = Build(res::General::id);
        Passes(general.get(), &none, res::General::id);
        QVERIFY(!none.texts.count("-1"));
    }

    void sharedKeysOneAndTwo() {
        CMapLangManager m;
        auto rename = Build(res::RenameTap::id);
        Passes(rename.get(), &m, res::RenameTap::id);
        QCOMPARE(m.texts[Key(res::RenameTap::Ok::id)], std::string("OK"));
        QCOMPARE(m.texts[Key(res::RenameTap::Cancel::id)], std::string("Cancel"));
        auto install = Build(res::InstallTap::id);
        Passes(install.get(), &m, res::InstallTap::id);
        QCOMPARE(Caption(install.get(), res::InstallTap::Ok::id), QStringLiteral("OK"));
        QCOMPARE(Caption(install.get(), res::InstallTap::Cancel::id), QStringLiteral("Cancel"));
        QCOMPARE(m.texts[Key(res::RenameTap::Ok::id)], std::string("OK"));
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
        m.texts[Key(res::General::Target::id)] = "target";
        m.texts[Key(res::Main::List::id)] = "list";
        auto general = Build(res::General::id);
        auto main = Build(res::Main::id);
        Passes(general.get(), &m, res::General::id);
        Passes(main.get(), &m, res::Main::id);
        QCOMPARE(GetWindowText(GetDlgItem(general.get(), res::General::Target::id)), std::string());
        QCOMPARE(m.texts[Key(res::General::Target::id)], std::string("target"));
        QCOMPARE(m.texts[Key(res::Main::List::id)], std::string("list"));
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
