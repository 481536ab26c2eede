// The exchange step per control kind, in both directions.
#include "DialogTestSupport.h"
#include "dialog/DataExchange.h"
#include "dialog/DialogBuilder.h"
#include "dialog/DialogTemplate.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QRadioButton>
#include <QTest>

namespace {

enum : int32_t {
    kEdit = 10,
    kMemo = 11,
    kCombo = 12,
    kCheck = 13,
    kRadioA = 20, // group of three
    kRadioB = 21,
    kRadioC = 22,
    kRadioX = 30, // group of two
    kRadioY = 31,
    kEmptyCombo = 40,
};

DialogTemplate TestTemplate() {
    DialogTemplate t;
    t.id = 9000;
    t.caption = "exchange";
    t.w = 200;
    t.h = 200;
    auto add = [&t](int32_t id, CtlKind kind, uint32_t styles = StyleNone) {
        ControlTemplate c;
        c.id = id;
        c.kind = kind;
        c.caption = kind == CtlKind::Radio || kind == CtlKind::Check ? "choice" : "";
        c.x = 1;
        c.y = int(t.controls.size()) * 12;
        c.w = 100;
        c.h = 10;
        c.styles = styles;
        t.controls.push_back(c);
    };
    add(kEdit, CtlKind::Edit, StyleBorder);
    add(kMemo, CtlKind::Edit, StyleMultiline | StyleVScroll);
    add(kCombo, CtlKind::Combo);
    add(kCheck, CtlKind::Check);
    add(kRadioA, CtlKind::Radio, StyleGroupStart);
    add(kRadioB, CtlKind::Radio);
    add(kRadioC, CtlKind::Radio);
    add(kRadioX, CtlKind::Radio, StyleGroupStart);
    add(kRadioY, CtlKind::Radio);
    add(kEmptyCombo, CtlKind::Combo);
    return t;
}

struct Fixture {
    QWidget dlg;
    Fixture() {
        BuildDialog(&dlg, TestTemplate());
        combo()->addItems({"ARM-Versatile", "arm-realview", "MIPS Malta", "x86", "Arm"});
    }
    QComboBox* combo() { return qobject_cast<QComboBox*>(GetDlgItem(&dlg, kCombo)); }
    QCheckBox* check() { return qobject_cast<QCheckBox*>(GetDlgItem(&dlg, kCheck)); }
    QRadioButton* radio(int32_t id) { return qobject_cast<QRadioButton*>(GetDlgItem(&dlg, id)); }
    CDataExchange push() { return CDataExchange{&dlg, false}; }
    CDataExchange pull() { return CDataExchange{&dlg, true}; }
};

} // namespace

class TestDataExchange : public QObject {
    Q_OBJECT
private slots:
    void editBothWays() {
        Fixture f;
        auto push = f.push();
        auto pull = f.pull();
        std::string value = "  my vm  ";
        DDX_Text(push, kEdit, value);
        QCOMPARE(Edit(&f.dlg, kEdit)->text(), QStringLiteral("  my vm  "));
        Edit(&f.dlg, kEdit)->setText(QString::fromUtf8("Gerät"));
        DDX_Text(pull, kEdit, value);
        QCOMPARE(value, std::string("Ger\xC3\xA4t"));

        std::string memo = "console=ttyAMA0\nroot=/dev/ram";
        DDX_Text(push, kMemo, memo);
        QCOMPARE(qobject_cast<QPlainTextEdit*>(GetDlgItem(&f.dlg, kMemo))->toPlainText(),
                 QStringLiteral("console=ttyAMA0\nroot=/dev/ram"));
        memo.clear();
        DDX_Text(pull, kMemo, memo);
        QCOMPARE(memo, std::string("console=ttyAMA0\nroot=/dev/ram"));

        // Bytes that are no UTF-8 come back as they went in.
        std::string raw = "name\xE4\xFF";
        DDX_Text(push, kEdit, raw);
        std::string back;
        DDX_Text(pull, kEdit, back);
        QCOMPARE(back, raw);

        // A missing control leaves the copy alone.
        std::string untouched = "keep";
        DDX_Text(pull, 4242, untouched);
        QCOMPARE(untouched, std::string("keep"));
    }

    void comboPush_data() {
        QTest::addColumn<int>("before");
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("after");
        QTest::newRow("exact") << 0 << "MIPS Malta" << 2;
        QTest::newRow("prefix") << 0 << "MIPS" << 2;
        QTest::newRow("case ignored") << 3 << "mips malta" << 2;
        QTest::newRow("first of several") << 3 << "ar" << 0;
        // The item that was chosen must come back, not an earlier, longer one.
        QTest::newRow("whole item before prefix") << 0 << "arm" << 4;
        QTest::newRow("prefix case ignored") << 0 << "ARM-R" << 1;
        QTest::newRow("no match keeps selection") << 1 << "sparc" << 1;
        QTest::newRow("longer than item") << 3 << "x86_64" << 3;
        QTest::newRow("empty picks first") << 3 << "" << 0;
        QTest::newRow("no selection, no match") << -1 << "sparc" << -1;
    }
    void comboPush() {
        QFETCH(int, before);
        QFETCH(QString, text);
        QFETCH(int, after);
        Fixture f;
        f.combo()->setCurrentIndex(before);
        auto push = f.push();
        std::string value = text.toStdString();
        DDX_CBString(push, kCombo, value);
        QCOMPARE(f.combo()->currentIndex(), after);
        QCOMPARE(value, text.toStdString()); // push never changes the copy
    }

    void comboPull() {
        Fixture f;
        auto pull = f.pull();
        std::string value = "old";
        f.combo()->setCurrentIndex(2);
        DDX_CBString(pull, kCombo, value);
        QCOMPARE(value, std::string("MIPS Malta"));
        f.combo()->setCurrentIndex(-1);
        DDX_CBString(pull, kCombo, value);
        QCOMPARE(value, std::string());
        value = "old";
        DDX_CBString(pull, kEmptyCombo, value);
        QCOMPARE(value, std::string());
    }

    void comboEmptyListAndNonAsciiPrefix() {
        Fixture f;
        auto push = f.push();
        auto* empty = qobject_cast<QComboBox*>(GetDlgItem(&f.dlg, kEmptyCombo));
        std::string value;
        DDX_CBString(push, kEmptyCombo, value);
        QCOMPARE(empty->currentIndex(), -1);
        empty->addItems({QString::fromUtf8("Ärger"), QString::fromUtf8("ärmel")});
        empty->setCurrentIndex(0);
        value = "\xC3\xA4RM"; // "äRM": case folded beyond ASCII
        DDX_CBString(push, kEmptyCombo, value);
        QCOMPARE(empty->currentIndex(), 1);
        value = "\xFF\xFE"; // no UTF-8 at all: nothing matches
        DDX_CBString(push, kEmptyCombo, value);
        QCOMPARE(empty->currentIndex(), 1);
    }

    void checkPush_data() {
        QTest::addColumn<int>("value");
        QTest::addColumn<int>("state");
        QTest::addColumn<int>("copy");
        QTest::newRow("cleared") << 0 << int(Qt::Unchecked) << 0;
        QTest::newRow("ticked") << 1 << int(Qt::Checked) << 1;
        QTest::newRow("third state") << 2 << int(Qt::PartiallyChecked) << 2;
        QTest::newRow("seven") << 7 << int(Qt::Unchecked) << 0;
        QTest::newRow("minus one") << -1 << int(Qt::Unchecked) << 0;
        QTest::newRow("int max") << 2147483647 << int(Qt::Unchecked) << 0;
    }
    void checkPush() {
        QFETCH(int, value);
        QFETCH(int, state);
        QFETCH(int, copy);
        Fixture f;
        f.check()->setChecked(true);
        auto push = f.push();
        auto pull = f.pull();
        int32_t v = value;
        DDX_Check(push, kCheck, v);
        QCOMPARE(v, copy);
        QCOMPARE(int(f.check()->checkState()), state);
        int32_t back = 99;
        DDX_Check(pull, kCheck, back);
        QCOMPARE(back, copy);
    }

    void checkPullFollowsTheUser() {
        Fixture f;
        f.dlg.show();
        QVERIFY(QTest::qWaitForWindowExposed(&f.dlg));
        auto push = f.push();
        auto pull = f.pull();
        int32_t v = 2;
        DDX_Check(push, kCheck, v);
        ClickIndicator(f.check());
        DDX_Check(pull, kCheck, v);
        QCOMPARE(v, 1);
        // Back to a two-state box: clicks alternate between 0 and 1.
        ClickIndicator(f.check());
        DDX_Check(pull, kCheck, v);
        QCOMPARE(v, 0);
        ClickIndicator(f.check());
        DDX_Check(pull, kCheck, v);
        QCOMPARE(v, 1);
    }

    void radio_data() {
        QTest::addColumn<int>("value");
        QTest::addColumn<int>("pulled");
        QTest::newRow("first") << 0 << 0;
        QTest::newRow("last") << 2 << 2;
        QTest::newRow("none") << -1 << -1;
        QTest::newRow("beyond") << 3 << -1;
        QTest::newRow("negative") << -7 << -1;
    }
    void radio() {
        QFETCH(int, value);
        QFETCH(int, pulled);
        Fixture f;
        f.radio(kRadioB)->setChecked(true);
        f.radio(kRadioY)->setChecked(true);
        auto push = f.push();
        auto pull = f.pull();
        int32_t v = value;
        DDX_Radio(push, kRadioA, v);
        int checked = 0;
        for (int32_t id : {kRadioA, kRadioB, kRadioC})
            checked += f.radio(id)->isChecked() ? 1 : 0;
        QCOMPARE(checked, pulled < 0 ? 0 : 1);
        int32_t back = 42;
        DDX_Radio(pull, kRadioA, back);
        QCOMPARE(back, pulled);
        // The other group is its own.
        QVERIFY(f.radio(kRadioY)->isChecked());
        DDX_Radio(pull, kRadioX, back);
        QCOMPARE(back, 1);
    }

    void radioStaysExclusiveAfterClearing() {
        Fixture f;
        f.dlg.show();
        QVERIFY(QTest::qWaitForWindowExposed(&f.dlg));
        auto push = f.push();
        int32_t none = -1;
        DDX_Radio(push, kRadioA, none);
        ClickIndicator(f.radio(kRadioA));
        ClickIndicator(f.radio(kRadioC));
        QVERIFY(!f.radio(kRadioA)->isChecked());
        QVERIFY(f.radio(kRadioC)->isChecked());
        auto pull = f.pull();
        int32_t v = -1;
        DDX_Radio(pull, kRadioA, v);
        QCOMPARE(v, 2);
        // An id that is no radio button leaves the copy alone.
        v = 5;
        DDX_Radio(pull, kEdit, v);
        QCOMPARE(v, 5);
    }
};

QTEST_MAIN(TestDataExchange)
#include "tst_dataexchange.moc"
