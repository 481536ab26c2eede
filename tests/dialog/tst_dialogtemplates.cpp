// The templates against the dialog tables, and what the builder makes of them.
#include "dialog/DialogBuilder.h"
#include "dialog/DialogTemplate.h"
#include "dialog/ListViewCtrl.h"

#include <QApplication>
#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <QValidator>

namespace {

struct Row {
    int32_t id;
    char kind; // L label, E edit, C combo, B button, X check, R radio, G group, V list
    const char* caption;
    int x, y, w, h;
};

struct Expected {
    int32_t id;
    const char* caption;
    int w, h, pointSize;
    std::vector<Row> rows;
};

const char* const kEllipsis = "\xE2\x80\xA6";

std::vector<Expected> Tables() {
    return {
        {102,
         "Tarnwick",
         320,
         200,
         9,
         {{1012, 'L', "List of existing virtual machine", 7, 7, 175, 13},
          {1001, 'V', "", 7, 26, 253, 167},
          {1002, 'B', "new", 271, 53, 42, 11},
          {1040, 'B', "delete", 271, 103, 42, 11},
          {1042, 'B', "edit", 271, 78, 42, 11},
          {1044, 'B', "start", 271, 129, 42, 11}}},
        {129,
         "General",
         316,
         213,
         8,
         {{1013, 'L', "Name:", 15, 17, 26, 9},
          {1014, 'L', "Target:", 15, 37, 28, 9},
          {1015, 'L', "CPU:", 15, 57, 28, 9},
          {1016, 'L', "Memory:", 15, 77, 28, 9},
          {1019, 'L', "NetWork:", 15, 100, 40, 9},
          {1004, 'E', "", 55, 15, 235, 13},
          {1005, 'C', "", 55, 35, 235, 45},
          {1006, 'C', "", 55, 54, 235, 66},
          {1017, 'E', "", 55, 73, 190, 13},
          {1018, 'C', "", 255, 73, 35, 47},
          {-1, 'G', "", 55, 90, 236, 71},
          {1023, 'L', "Display:", 15, 170, 35, 10},
          {-1, 'G', "", 55, 165, 236, 33},
          {1024, 'X', "Enable", 70, 175, 52, 13},
          {1020, 'L', "TAP Network Adapter:", 60, 100, 90, 11},
          {1009, 'C', "", 75, 120, 130, 56},
          {1021, 'B', "Install", 230, 100, 50, 12},
          {1022, 'B', "Refresh", 230, 120, 50, 12},
          {1011, 'B', "Rename", 230, 140, 50, 12},
          {1074, 'L', "NOTE: Tap Network name can't have space", 66, 136, 159, 20}}},
        {130,
         "Disk",
         316,
         213,
         8,
         {{1025, 'L', "SD:", 14, 15, 30, 9},       {1030, 'L', "HardDisk:", 15, 110, 46, 9},
          {-1, 'G', "", 33, 25, 265, 71},          {1010, 'R', "Size:", 36, 38, 32, 12},
          {1048, 'R', "File:", 36, 74, 32, 12},    {1026, 'E', "", 82, 36, 164, 12},
          {1027, 'C', "", 258, 36, 27, 38},        {1028, 'E', "", 82, 74, 164, 12},
          {1029, 'B', kEllipsis, 258, 74, 25, 12}, {-1, 'G', "", 30, 123, 265, 71},
          {1051, 'R', "Size:", 36, 134, 32, 12},   {1053, 'R', "File:", 36, 175, 32, 12},
          {1054, 'E', "", 81, 132, 164, 12},       {1055, 'C', "", 255, 132, 27, 33},
          {1056, 'E', "", 81, 174, 164, 12},       {1031, 'B', kEllipsis, 255, 174, 25, 12},
          {1073, 'E', "", 82, 55, 164, 12},        {1064, 'B', kEllipsis, 258, 55, 25, 12},
          {1070, 'E', "", 81, 153, 164, 12},       {1065, 'B', kEllipsis, 255, 153, 25, 12},
          {1067, 'L', "Save:", 47, 57, 22, 9},     {1069, 'L', "Save:", 48, 154, 25, 9}}},
        {131,
         "Peripherals",
         316,
         213,
         8,
         {{1032, 'L', "Serial:", 13, 15, 32, 9},
          {-1, 'G', "", 25, 27, 275, 55},
          {1003, 'X', "Enable", 37, 38, 80, 13},
          {1008, 'C', "", 37, 58, 136, 49},
          {1043, 'E', "", 183, 58, 111, 13},
          {1033, 'L', "Other:", 13, 91, 64, 11},
          {-1, 'G', "", 24, 103, 276, 97},
          {1049, 'V', "", 37, 115, 209, 70},
          {1034, 'B', "Add", 256, 130, 36, 12},
          {1046, 'B', "Edit", 256, 147, 36, 12},
          {1052, 'B', "Delete", 256, 164, 36, 12}}},
        {132,
         "OS",
         316,
         213,
         8,
         {{1039, 'L', "Linux kernel command line :", 10, 100, 127, 9},
          {1035, 'L', "OS Image:", 10, 15, 127, 9},
          {1037, 'L', "Initrd Image:", 10, 55, 127, 9},
          {1045, 'E', "", 15, 31, 250, 13},
          {1047, 'E', "", 15, 72, 250, 13},
          {1050, 'E', "", 15, 116, 280, 79},
          {1036, 'B', kEllipsis, 272, 31, 25, 12},
          {1038, 'B', kEllipsis, 273, 70, 25, 12}}},
        {135,
         "Peripheral",
         275,
         111,
         8,
         {{1060, 'L', "Peripheral:", 13, 14, 65, 10},
          {1062, 'C', "", 36, 27, 223, 56},
          {1061, 'L', "Parameter:", 13, 51, 65, 10},
          {1071, 'E', "", 36, 63, 223, 13},
          {1057, 'B', "OK", 156, 90, 50, 12},
          {1059, 'B', "Cancel", 212, 90, 50, 12}}},
        {136,
         "Install TapNetwrok Driver",
         276,
         47,
         8,
         {{1066, 'C', "", 7, 13, 127, 56},
          {1, 'B', "Install", 163, 13, 50, 12},
          {2, 'B', "Cancel", 219, 13, 50, 12}}},
        {137,
         "Rename Tap Network",
         285,
         41,
         8,
         {{1072, 'E', "", 13, 13, 131, 13},
          {1, 'B', "OK", 157, 13, 50, 12},
          {2, 'B', "Cancel", 223, 13, 50, 12}}},
        {138, "Start Emulator Error", 316, 185, 8, {{1063, 'E', "", 7, 7, 302, 171}}},
    };
}

CtlKind KindOf(char k) {
    switch (k) {
    case 'E':
        return CtlKind::Edit;
    case 'C':
        return CtlKind::Combo;
    case 'B':
        return CtlKind::Button;
    case 'X':
        return CtlKind::Check;
    case 'R':
        return CtlKind::Radio;
    case 'G':
        return CtlKind::Group;
    case 'V':
        return CtlKind::List;
    default:
        return CtlKind::Label;
    }
}

bool WidgetHasKind(QWidget* w, CtlKind kind, uint32_t styles) {
    switch (kind) {
    case CtlKind::Label:
        return qobject_cast<QLabel*>(w);
    case CtlKind::Edit:
        return (styles & StyleMultiline) ? qobject_cast<QPlainTextEdit*>(w) != nullptr
                                         : qobject_cast<QLineEdit*>(w) != nullptr;
    case CtlKind::Combo:
        return qobject_cast<QComboBox*>(w);
    case CtlKind::Button:
        return qobject_cast<QPushButton*>(w);
    case CtlKind::Check:
        return qobject_cast<QCheckBox*>(w);
    case CtlKind::Radio:
        return qobject_cast<QRadioButton*>(w);
    case CtlKind::Group:
        return qobject_cast<QGroupBox*>(w);
    case CtlKind::List:
        return qobject_cast<CListViewCtrl*>(w);
    }
    return false;
}

std::unique_ptr<QWidget> Build(int32_t id) {
    auto w = std::make_unique<QWidget>();
    const DialogTemplate* t = FindDialogTemplate(id);
    if (t)
        BuildDialog(w.get(), *t);
    return w;
}

// Check boxes and radio buttons take clicks on their indicator and label only.
void ClickIndicator(QWidget* w) {
    QTest::mouseClick(w, Qt::LeftButton, {}, QPoint(4, w->height() / 2));
}

} // namespace

class TestDialogTemplates : public QObject {
    Q_OBJECT
private slots:
    void everyTemplateIsThere() {
        std::vector<int32_t> ids;
        for (const DialogTemplate* t : AllDialogTemplates())
            ids.push_back(t->id);
        QCOMPARE(ids, (std::vector<int32_t>{102, 129, 130, 131, 132, 135, 136, 137, 138}));
        QVERIFY(FindDialogTemplate(133) == nullptr);
        QVERIFY(FindDialogTemplate(-1) == nullptr);
    }

    void templateMatchesTable_data() {
        QTest::addColumn<int>("index");
        const auto tables = Tables();
        for (size_t i = 0; i < tables.size(); ++i)
            QTest::newRow(std::to_string(tables[i].id).c_str()) << int(i);
    }
    void templateMatchesTable() {
        QFETCH(int, index);
        const Expected e = Tables()[size_t(index)];
        const DialogTemplate* t = FindDialogTemplate(e.id);
        QVERIFY(t);
        QCOMPARE(t->caption, std::string(e.caption));
        QCOMPARE(t->w, e.w);
        QCOMPARE(t->h, e.h);
        QCOMPARE(t->pointSize, e.pointSize);
        QCOMPARE(t->controls.size(), e.rows.size());
        for (size_t i = 0; i < e.rows.size(); ++i) {
            const ControlTemplate& c = t->controls[i];
            const Row& r = e.rows[i];
            const QByteArray where = QByteArray::number(e.id) + " #" + QByteArray::number(int(i));
            QVERIFY2(c.id == r.id, where);
            QVERIFY2(c.kind == KindOf(r.kind), where);
            QVERIFY2(c.caption == r.caption, where);
            QVERIFY2(c.x == r.x && c.y == r.y && c.w == r.w && c.h == r.h, where);
        }
    }

    void builtDialogFollowsTemplate_data() { templateMatchesTable_data(); }
    void builtDialogFollowsTemplate() {
        QFETCH(int, index);
        const Expected e = Tables()[size_t(index)];
        const DialogTemplate* t = FindDialogTemplate(e.id);
        QVERIFY(t);
        auto dlg = Build(e.id);
        const QFont font = DialogFont(*t);
        QCOMPARE(font.pointSize(), e.pointSize);
        QCOMPARE(font.family(), QApplication::font().family());
        const DialogUnits du = DialogUnits::ForFont(font);
        QVERIFY(du.hbase > 0 && du.vbase > 0);
        QCOMPARE(dlg->size(), QSize(e.w * du.hbase / 4, e.h * du.vbase / 8));
        QCOMPARE(dlg->minimumSize(), dlg->maximumSize()); // not resizable
        QCOMPARE(GetWindowText(dlg.get()), std::string(e.caption));

        const std::vector<QWidget*> children = DirectChildren(dlg.get());
        QCOMPARE(children.size(), e.rows.size());
        for (size_t i = 0; i < e.rows.size(); ++i) {
            QWidget* w = children[i];
            const Row& r = e.rows[i];
            const ControlTemplate& c = t->controls[i];
            const QByteArray where = QByteArray::number(e.id) + " #" + QByteArray::number(int(i));
            QVERIFY2(GetDlgCtrlID(w) == r.id, where);
            QVERIFY2(WidgetHasKind(w, c.kind, c.styles), where);
            const bool hasCaption = c.kind != CtlKind::Combo && c.kind != CtlKind::List;
            QVERIFY2(GetWindowText(w) == (hasCaption ? std::string(r.caption) : std::string()),
                     where);
            const QRect px(r.x * du.hbase / 4, r.y * du.vbase / 8, r.w * du.hbase / 4,
                           r.h * du.vbase / 8);
            QVERIFY2(w->x() == px.x() && w->y() == px.y() && w->width() == px.width(), where);
            // A combo box's template height is that of its open list.
            if (c.kind == CtlKind::Combo)
                QVERIFY2(w->height() == w->sizeHint().height(), where);
            else
                QVERIFY2(w->height() == px.height(), where);
        }
    }

    void dialogUnitsFollowTheFont() {
        QFont font = QApplication::font();
        font.setPointSize(8);
        const QFontMetrics fm(font);
        const DialogUnits du = DialogUnits::ForFont(font);
        QCOMPARE(du.vbase, fm.height());
        const int letters = fm.horizontalAdvance(
            QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"));
        QVERIFY(qAbs(du.hbase * 52 - letters) <= 52);
        DialogUnits fixed{6, 13};
        QCOMPARE(fixed.ToPixels(7, 26, 253, 167), QRect(10, 42, 379, 271));
        QCOMPARE(fixed.ToPixels(0, 0, 1, 1), QRect(0, 0, 1, 1));
        QFont larger = font;
        larger.setPointSize(16);
        QVERIFY(DialogUnits::ForFont(larger).vbase > du.vbase);
    }

    void idsAndLookup() {
        auto dlg = Build(130);
        QWidget* sdSize = GetDlgItem(dlg.get(), 1010);
        QVERIFY(qobject_cast<QRadioButton*>(sdSize));
        QVERIFY(GetDlgItem(dlg.get(), 4242) == nullptr);
        QVERIFY(GetDlgItem(nullptr, 1010) == nullptr);
        // The first of the group boxes answers to -1.
        QCOMPARE(GetDlgItem(dlg.get(), -1), DirectChildren(dlg.get())[2]);
        QWidget plain;
        QCOMPARE(GetDlgCtrlID(&plain), 0);
        QCOMPARE(GetDlgCtrlID(nullptr), 0);
        SetDlgCtrlID(&plain, 77);
        QCOMPARE(GetDlgCtrlID(&plain), 77);
        EnableDlgItem(dlg.get(), 1026, false);
        QVERIFY(!GetDlgItem(dlg.get(), 1026)->isEnabled());
        EnableDlgItem(dlg.get(), 1026, true);
        QVERIFY(GetDlgItem(dlg.get(), 1026)->isEnabled());
        EnableDlgItem(dlg.get(), 4242, false); // no such control: nothing happens
    }

    void directChildrenSkipGrandchildrenAndWindows() {
        auto dlg = Build(137);
        auto* grandchild = new QLabel("inner", GetDlgItem(dlg.get(), 1));
        SetDlgCtrlID(grandchild, 55);
        auto* popup = new QWidget(dlg.get(), Qt::Window);
        SetDlgCtrlID(popup, 56);
        QCOMPARE(DirectChildren(dlg.get()).size(), size_t(3));
        QVERIFY(GetDlgItem(dlg.get(), 55) == nullptr);
        QVERIFY(GetDlgItem(dlg.get(), 56) == nullptr);
        QVERIFY(DirectChildren(nullptr).empty());
    }

    void stylesThatMatter() {
        auto general = Build(129);
        QVERIFY(!GetDlgItem(general.get(), 1024)->isEnabled());
        for (int32_t id : {1005, 1006, 1018, 1009})
            QVERIFY(!qobject_cast<QComboBox*>(GetDlgItem(general.get(), id))->isEditable());
        for (int32_t id : {1021, 1022, 1011}) {
            auto* b = qobject_cast<QPushButton*>(GetDlgItem(general.get(), id));
            QVERIFY(!b->autoDefault());
            QVERIFY(!b->isDefault());
        }
        auto os = Build(132);
        auto* cmdLine = qobject_cast<QPlainTextEdit*>(GetDlgItem(os.get(), 1050));
        QVERIFY(cmdLine);
        QVERIFY(!cmdLine->isReadOnly());
        QCOMPARE(cmdLine->verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOn);
        QCOMPARE(cmdLine->lineWrapMode(), QPlainTextEdit::WidgetWidth);
        auto err = Build(138);
        auto* errText = qobject_cast<QPlainTextEdit*>(GetDlgItem(err.get(), 1063));
        QVERIFY(errText);
        QVERIFY(errText->isReadOnly());
        QCOMPARE(errText->lineWrapMode(), QPlainTextEdit::NoWrap);
        QCOMPARE(errText->horizontalScrollBarPolicy(), Qt::ScrollBarAlwaysOn);
        QCOMPARE(errText->verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOff);
        auto tap = Build(136);
        QVERIFY(qobject_cast<QPushButton*>(GetDlgItem(tap.get(), 1))->isDefault());
        auto peri = Build(135);
        QVERIFY(!qobject_cast<QPushButton*>(GetDlgItem(peri.get(), 1057))->isDefault());
        auto main = Build(102);
        QCOMPARE(qobject_cast<CListViewCtrl*>(GetDlgItem(main.get(), 1001))->selectionMode(),
                 QAbstractItemView::ExtendedSelection);
    }

    void numberEdits_data() {
        QTest::addColumn<QString>("input");
        QTest::addColumn<bool>("accepted");
        QTest::newRow("empty") << "" << true;
        QTest::newRow("zero") << "0" << true;
        QTest::newRow("digits") << "512" << true;
        QTest::newRow("int max") << "2147483647" << true;
        QTest::newRow("leading zeros") << "0002147483647" << true;
        QTest::newRow("int max + 1") << "2147483648" << false;
        QTest::newRow("eleven digits") << "99999999999" << false;
        QTest::newRow("minus") << "-1" << false;
        QTest::newRow("plus") << "+1" << false;
        QTest::newRow("blank") << "1 2" << false;
        QTest::newRow("letter") << "12k" << false;
        QTest::newRow("group separator") << "1,000" << false;
        QTest::newRow("arabic digit") << QString::fromUtf8("\xD9\xA3") << false;
    }
    void numberEdits() {
        QFETCH(QString, input);
        QFETCH(bool, accepted);
        auto general = Build(129);
        auto disk = Build(130);
        const std::vector<QLineEdit*> edits = {
            qobject_cast<QLineEdit*>(GetDlgItem(general.get(), 1017)),
            qobject_cast<QLineEdit*>(GetDlgItem(disk.get(), 1026)),
            qobject_cast<QLineEdit*>(GetDlgItem(disk.get(), 1054))};
        for (QLineEdit* e : edits) {
            QVERIFY(e && e->validator());
            QString s = input;
            int pos = 0;
            QCOMPARE(e->validator()->validate(s, pos) == QValidator::Acceptable, accepted);
        }
        // Typed keys go through the validator.
        QLineEdit* memory = edits[0];
        if (input.toLatin1() != input.toUtf8())
            return; // keys beyond ASCII cannot be typed here
        memory->setFocus();
        QTest::keyClicks(memory, input);
        if (accepted)
            QCOMPARE(memory->text(), input);
        else
            QVERIFY(memory->text() != input);
        // Text edits have no validator and no length limit worth the name.
        auto* name = qobject_cast<QLineEdit*>(GetDlgItem(general.get(), 1004));
        QVERIFY(!name->validator());
        name->setText(QString(40000, QLatin1Char('n')));
        QCOMPARE(name->text().size(), 40000);
    }

    void radioGroupsAreIndependent() {
        auto disk = Build(130);
        auto* sdSize = qobject_cast<QRadioButton*>(GetDlgItem(disk.get(), 1010));
        auto* sdFile = qobject_cast<QRadioButton*>(GetDlgItem(disk.get(), 1048));
        auto* hdSize = qobject_cast<QRadioButton*>(GetDlgItem(disk.get(), 1051));
        auto* hdFile = qobject_cast<QRadioButton*>(GetDlgItem(disk.get(), 1053));
        QVERIFY(sdSize->group() && sdSize->group() == sdFile->group());
        QVERIFY(hdSize->group() && hdSize->group() == hdFile->group());
        QVERIFY(sdSize->group() != hdSize->group());
        disk->show();
        ClickIndicator(sdFile);
        ClickIndicator(hdSize);
        QVERIFY(sdFile->isChecked());
        QVERIFY(hdSize->isChecked());
        ClickIndicator(sdSize);
        QVERIFY(sdSize->isChecked() && !sdFile->isChecked());
        QVERIFY(hdSize->isChecked());
    }

    void groupBoxesAreSiblingFrames() {
        auto general = Build(129);
        const auto children = DirectChildren(general.get());
        auto* frame = qobject_cast<QGroupBox*>(children[10]);
        QVERIFY(frame);
        QVERIFY(frame->children().isEmpty() || frame->findChildren<QWidget*>().isEmpty());
        // The adapter list lies inside the frame's area yet takes the clicks.
        general->show();
        QWidget* adapters = GetDlgItem(general.get(), 1009);
        QVERIFY(frame->geometry().contains(adapters->geometry().center()));
        QCOMPARE(general->childAt(adapters->geometry().center())->window(), general.get());
        QVERIFY(general->childAt(adapters->geometry().center()) != frame);
    }

    void windowTextRules() {
        auto general = Build(129);
        QWidget* combo = GetDlgItem(general.get(), 1005);
        SetWindowText(combo, "ignored");
        QCOMPARE(GetWindowText(combo), std::string());
        QCOMPARE(qobject_cast<QComboBox*>(combo)->count(), 0);
        auto main = Build(102);
        QWidget* list = GetDlgItem(main.get(), 1001);
        SetWindowText(list, "ignored");
        QCOMPARE(GetWindowText(list), std::string());
        QWidget* frame = DirectChildren(general.get())[10];
        SetWindowText(frame, "Network");
        QCOMPARE(qobject_cast<QGroupBox*>(frame)->title(), QStringLiteral("Network"));
        QWidget* name = GetDlgItem(general.get(), 1004);
        SetWindowText(name, "vm one");
        QCOMPARE(qobject_cast<QLineEdit*>(name)->text(), QStringLiteral("vm one"));
        QCOMPARE(GetWindowText(name), std::string("vm one"));
        SetWindowText(general.get(), "Allgemein");
        QCOMPARE(general->windowTitle(), QStringLiteral("Allgemein"));
        auto err = Build(138);
        QWidget* text = GetDlgItem(err.get(), 1063);
        SetWindowText(text, "line one\nline two\xC2\xA0"
                            "end");
        QCOMPARE(GetWindowText(text), std::string("line one\nline two\xC2\xA0"
                                                  "end"));
        // Line ends of any kind show as line breaks and read back as they were.
        SetWindowText(text, "a\r\nb\rc");
        QCOMPARE(qobject_cast<QPlainTextEdit*>(text)->blockCount(), 3);
        QCOMPARE(GetWindowText(text), std::string("a\r\nb\rc"));
        qobject_cast<QPlainTextEdit*>(text)->appendPlainText("d");
        QCOMPARE(GetWindowText(text), std::string("a\nb\nc\nd"));
        // A label shows markup as typed.
        QWidget* label = GetDlgItem(general.get(), 1013);
        SetWindowText(label, "<b>Name</b>");
        QCOMPARE(qobject_cast<QLabel*>(label)->textFormat(), Qt::PlainText);
        QCOMPARE(GetWindowText(label), std::string("<b>Name</b>"));
        SetWindowText(nullptr, "x");
        QCOMPARE(GetWindowText(nullptr), std::string());
    }

    void captionBytesSurviveTheRoundTrip_data() {
        QTest::addColumn<QByteArray>("bytes");
        QTest::newRow("latin-1") << QByteArray("Ger\xE4t");
        QTest::newRow("lone continuation") << QByteArray("a\x80z");
        QTest::newRow("cut sequence") << QByteArray("ab\xE2\x82");
        QTest::newRow("overlong") << QByteArray("\xC0\xAF");
        QTest::newRow("ff") << QByteArray("\xFF\xFE");
        QTest::newRow("valid utf-8") << QByteArray("Ger\xC3\xA4t");
    }
    void captionBytesSurviveTheRoundTrip() {
        QFETCH(QByteArray, bytes);
        const std::string text(bytes.constData(), size_t(bytes.size()));
        auto general = Build(129);
        for (int32_t id : {1004, 1013, 1021, 1024}) {
            QWidget* w = GetDlgItem(general.get(), id);
            SetWindowText(w, text);
            QCOMPARE(GetWindowText(w), text);
        }
        // Once the user changes the text, the new text counts.
        auto* name = qobject_cast<QLineEdit*>(GetDlgItem(general.get(), 1004));
        name->setText(QStringLiteral("typed"));
        QCOMPARE(GetWindowText(name), std::string("typed"));
    }
};

QTEST_MAIN(TestDialogTemplates)
#include "tst_dialogtemplates.moc"
