// The templates against their data, and what the builder makes of them.
#include "DialogTestSupport.h"
#include "dialog/DialogBuilder.h"
#include "dialog/DialogTemplate.h"
#include "dialog/DlgItem.h"
#include "res/DialogIds.h"

#include <QApplication>
#include <QButtonGroup>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTest>
#include <QValidator>
#include <algorithm>
#include <set>

namespace {

// The templates as the file has them, read apart from the program's parser.
QJsonArray DialogsInFile() {
    QFile file(":/dialogs.json");
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return QJsonDocument::fromJson(file.readAll()).object().value("dialogs").toArray();
}

QJsonObject DialogInFile(int32_t id) {
    for (const QJsonValue& d : DialogsInFile())
        if (d.toObject().value("id").toInt() == id)
            return d.toObject();
    return {};
}

// The file's kind names in the order of CtlKind.
const char* const kKindNames[] = {"label", "edit",  "combo", "button",
                                  "check", "radio", "group", "list"};

QByteArray Where(const DialogTemplate& t, size_t i) {
    const ControlTemplate& c = t.controls[i];
    return QByteArray::fromStdString(t.name) + " #" + QByteArray::number(int(i)) + " " +
           QByteArray::fromStdString(c.name);
}

// A list view class of a dialog's own, made by a control factory.
class COwnList : public CListViewCtrl {
public:
    using CListViewCtrl::CListViewCtrl;
};

} // namespace

class TestDialogTemplates : public QObject {
    Q_OBJECT
private slots:
    void everyTemplateIsThere() {
        std::vector<int32_t> ids;
        for (const DialogTemplate* t : AllDialogTemplates())
            ids.push_back(t->id);
        std::vector<int32_t> named(std::begin(res::kDialogIds), std::end(res::kDialogIds));
        std::sort(named.begin(), named.end());
        QCOMPARE(ids, named);
        QCOMPARE(int(ids.size()), int(DialogsInFile().size()));
        QVERIFY(FindDialogTemplate(133) == nullptr);
        QVERIFY(FindDialogTemplate(-1) == nullptr);
    }

    void templateMatchesData_data() {
        QTest::addColumn<int>("id");
        for (const DialogTemplate* t : AllDialogTemplates())
            QTest::newRow(t->name.c_str()) << int(t->id);
    }
    void templateMatchesData() {
        QFETCH(int, id);
        const DialogTemplate* t = FindDialogTemplate(id);
        QVERIFY(t);
        const QJsonObject d = DialogInFile(id);
        QCOMPARE(QString::fromStdString(t->name), d.value("name").toString());
        QCOMPARE(QString::fromStdString(t->caption), d.value("caption").toString());
        QCOMPARE(t->w, d.value("size").toArray().at(0).toInt());
        QCOMPARE(t->h, d.value("size").toArray().at(1).toInt());
        QCOMPARE(t->pointSize, d.value("pointSize").toInt());
        const QJsonArray controls = d.value("controls").toArray();
        QCOMPARE(t->controls.size(), size_t(controls.size()));
        std::set<int32_t> ids;
        std::set<std::string> names;
        for (size_t i = 0; i < t->controls.size(); ++i) {
            const ControlTemplate& c = t->controls[i];
            const QJsonObject o = controls.at(qsizetype(i)).toObject();
            const QByteArray where = Where(*t, i);
            QVERIFY2(c.id == o.value("id").toInt(), where);
            QVERIFY2(QString::fromStdString(c.name) == o.value("name").toString(), where);
            QVERIFY2(kKindNames[int(c.kind)] == o.value("kind").toString(), where);
            QVERIFY2(QString::fromStdString(c.caption) == o.value("text").toString(), where);
            const QJsonArray r = o.value("rect").toArray();
            QVERIFY2(c.x == r.at(0).toInt() && c.y == r.at(1).toInt() && c.w == r.at(2).toInt() &&
                         c.h == r.at(3).toInt(),
                     where);
            QVERIFY2(c.w > 0 && c.h > 0, where);
            if (c.id == -1)
                continue;
            QVERIFY2(ids.insert(c.id).second, where + " shares its id");
            QVERIFY2(!c.name.empty() && names.insert(c.name).second, where + " needs its own name");
        }
    }

    void builtDialogFollowsTemplate_data() { templateMatchesData_data(); }
    void builtDialogFollowsTemplate() {
        QFETCH(int, id);
        const DialogTemplate* t = FindDialogTemplate(id);
        QVERIFY(t);
        auto dlg = Build(id);
        const QFont font = DialogFont(*t);
        QCOMPARE(font.pointSize(), t->pointSize);
        QCOMPARE(font.family(), QApplication::font().family());
        const DialogUnits du = DialogUnits::ForFont(font);
        QVERIFY(du.hbase > 0 && du.vbase > 0);
        QCOMPARE(dlg->size(), QSize(t->w * du.hbase / 4, t->h * du.vbase / 8));
        QCOMPARE(dlg->minimumSize(), dlg->maximumSize()); // not resizable
        QCOMPARE(GetWindowText(dlg.get()), t->caption);

        // Children in template order: stacking and tab order.
        const std::vector<QWidget*> children = DirectChildren(dlg.get());
        QCOMPARE(children.size(), t->controls.size());
        for (size_t i = 0; i < children.size(); ++i) {
            QWidget* w = children[i];
            const ControlTemplate& c = t->controls[i];
            const QByteArray where = Where(*t, i);
            QVERIFY2(GetDlgCtrlID(w) == c.id, where);
            QVERIFY2(IsOfKindClass(w, c), where);
            QVERIFY2(w->isEnabled() == !(c.styles & StyleDisabled), where);
            const bool hasCaption = c.kind != CtlKind::Combo && c.kind != CtlKind::List;
            QVERIFY2(GetWindowText(w) == (hasCaption ? c.caption : std::string()), where);
            const QRect px(c.x * du.hbase / 4, c.y * du.vbase / 8, c.w * du.hbase / 4,
                           c.h * du.vbase / 8);
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
        auto dlg = Build(res::Disk::id);
        QWidget* sdSize = GetDlgItem(dlg.get(), res::Disk::SdSizeChoice::id);
        QVERIFY(qobject_cast<QRadioButton*>(sdSize));
        QVERIFY(GetDlgItem(dlg.get(), 4242) == nullptr);
        QVERIFY(GetDlgItem(nullptr, res::Disk::SdSizeChoice::id) == nullptr);
        // The first of the group boxes answers to -1.
        QCOMPARE(GetDlgItem(dlg.get(), -1), DirectChildren(dlg.get())[2]);
        QWidget plain;
        QCOMPARE(GetDlgCtrlID(&plain), 0);
        QCOMPARE(GetDlgCtrlID(nullptr), 0);
        SetDlgCtrlID(&plain, 77);
        QCOMPARE(GetDlgCtrlID(&plain), 77);
        EnableDlgItem(dlg.get(), res::Disk::SdSize::id, false);
        QVERIFY(!GetDlgItem(dlg.get(), res::Disk::SdSize::id)->isEnabled());
        EnableDlgItem(dlg.get(), res::Disk::SdSize::id, true);
        QVERIFY(GetDlgItem(dlg.get(), res::Disk::SdSize::id)->isEnabled());
        EnableDlgItem(dlg.get(), 4242, false); // no such control: nothing happens
        // The typed lookup answers with the kind's class, also for a factory's own list.
        QVERIFY(GetDlgItem<res::Disk::SdSizeChoice>(dlg.get()) == sdSize);
        QVERIFY(GetDlgItem<res::Main::List>(dlg.get()) == nullptr);
        QWidget main;
        BuildDialog(&main, *FindDialogTemplate(res::Main::id),
                    [](const ControlTemplate& c, QWidget* parent) -> QWidget* {
                        return c.kind == CtlKind::List ? new COwnList(parent) : nullptr;
                    });
        QVERIFY(dynamic_cast<COwnList*>(GetDlgItem<res::Main::List>(&main)));
    }

    void directChildrenSkipGrandchildrenAndWindows() {
        auto dlg = Build(res::RenameTap::id);
        auto* grandchild = new QLabel("inner", GetDlgItem(dlg.get(), res::RenameTap::Ok::id));
        SetDlgCtrlID(grandchild, 55);
        auto* popup = new QWidget(dlg.get(), Qt::Window);
        SetDlgCtrlID(popup, 56);
        QCOMPARE(DirectChildren(dlg.get()).size(), size_t(3));
        QVERIFY(GetDlgItem(dlg.get(), 55) == nullptr);
        QVERIFY(GetDlgItem(dlg.get(), 56) == nullptr);
        QVERIFY(DirectChildren(nullptr).empty());
    }

    void stylesMapToWidgets() {
        for (const DialogTemplate* t : AllDialogTemplates()) {
            auto dlg = Build(t->id);
            const std::vector<QWidget*> children = DirectChildren(dlg.get());
            for (size_t i = 0; i < t->controls.size(); ++i) {
                const ControlTemplate& c = t->controls[i];
                const uint32_t s = c.styles;
                const QByteArray where = Where(*t, i);
                if (auto* combo = qobject_cast<QComboBox*>(children[i]))
                    QVERIFY2(!combo->isEditable(), where);
                if (auto* b = qobject_cast<QPushButton*>(children[i])) {
                    QVERIFY2(!b->autoDefault(), where);
                    QVERIFY2(b->isDefault() == bool(s & StyleDefault), where);
                }
                if (auto* e = qobject_cast<QLineEdit*>(children[i])) {
                    QVERIFY2(e->hasFrame() == bool(s & StyleBorder), where);
                    QVERIFY2((e->validator() != nullptr) == bool(s & StyleNumber), where);
                }
                if (auto* e = qobject_cast<QPlainTextEdit*>(children[i])) {
                    QVERIFY2(e->isReadOnly() == bool(s & StyleReadOnly), where);
                    QVERIFY2(e->lineWrapMode() == ((s & StyleHScroll)
                                                       ? QPlainTextEdit::NoWrap
                                                       : QPlainTextEdit::WidgetWidth),
                             where);
                    QVERIFY2(
                        e->horizontalScrollBarPolicy() ==
                            ((s & StyleHScroll) ? Qt::ScrollBarAlwaysOn : Qt::ScrollBarAlwaysOff),
                        where);
                    QVERIFY2(
                        e->verticalScrollBarPolicy() ==
                            ((s & StyleVScroll) ? Qt::ScrollBarAlwaysOn : Qt::ScrollBarAlwaysOff),
                        where);
                }
                if (auto* list = qobject_cast<CListViewCtrl*>(children[i]))
                    QVERIFY2(list->selectionMode() == ((s & StyleMultiSelect)
                                                           ? QAbstractItemView::ExtendedSelection
                                                           : QAbstractItemView::SingleSelection),
                             where);
            }
        }
        // The templates have each mapping at least once.
        auto err = Build(res::StartError::id);
        QVERIFY(GetDlgItem<res::StartError::Text>(err.get())->isReadOnly());
        auto os = Build(res::Os::id);
        QVERIFY(!GetDlgItem<res::Os::CmdLine>(os.get())->isReadOnly());
        auto tap = Build(res::InstallTap::id);
        QVERIFY(GetDlgItem<res::InstallTap::Ok>(tap.get())->isDefault());
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
        auto general = Build(res::General::id);
        auto disk = Build(res::Disk::id);
        const std::vector<QLineEdit*> edits = {GetDlgItem<res::General::MemSize>(general.get()),
                                               GetDlgItem<res::Disk::SdSize>(disk.get()),
                                               GetDlgItem<res::Disk::HdSize>(disk.get())};
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
        auto* name = GetDlgItem<res::General::Name>(general.get());
        QVERIFY(!name->validator());
        name->setText(QString(40000, QLatin1Char('n')));
        QCOMPARE(name->text().size(), 40000);
    }

    void radioGroupsAreIndependent() {
        auto disk = Build(res::Disk::id);
        auto* sdSize = GetDlgItem<res::Disk::SdSizeChoice>(disk.get());
        auto* sdFile = GetDlgItem<res::Disk::SdFileChoice>(disk.get());
        auto* hdSize = GetDlgItem<res::Disk::HdSizeChoice>(disk.get());
        auto* hdFile = GetDlgItem<res::Disk::HdFileChoice>(disk.get());
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
        auto general = Build(res::General::id);
        const auto children = DirectChildren(general.get());
        auto* frame = qobject_cast<QGroupBox*>(children[10]);
        QVERIFY(frame);
        QVERIFY(frame->children().isEmpty() || frame->findChildren<QWidget*>().isEmpty());
        // The adapter list lies inside the frame's area yet takes the clicks.
        general->show();
        QWidget* adapters = GetDlgItem(general.get(), res::General::Adapter::id);
        QVERIFY(frame->geometry().contains(adapters->geometry().center()));
        QCOMPARE(general->childAt(adapters->geometry().center())->window(), general.get());
        QVERIFY(general->childAt(adapters->geometry().center()) != frame);
    }

    void windowTextRules() {
        auto general = Build(res::General::id);
        QWidget* combo = GetDlgItem(general.get(), res::General::Target::id);
        SetWindowText(combo, "ignored");
        QCOMPARE(GetWindowText(combo), std::string());
        QCOMPARE(qobject_cast<QComboBox*>(combo)->count(), 0);
        auto main = Build(res::Main::id);
        QWidget* list = GetDlgItem(main.get(), res::Main::List::id);
        SetWindowText(list, "ignored");
        QCOMPARE(GetWindowText(list), std::string());
        QWidget* frame = DirectChildren(general.get())[10];
        SetWindowText(frame, "Network");
        QCOMPARE(qobject_cast<QGroupBox*>(frame)->title(), QStringLiteral("Network"));
        QWidget* name = GetDlgItem(general.get(), res::General::Name::id);
        SetWindowText(name, "vm one");
        QCOMPARE(qobject_cast<QLineEdit*>(name)->text(), QStringLiteral("vm one"));
        QCOMPARE(GetWindowText(name), std::string("vm one"));
        SetWindowText(general.get(), "Allgemein");
        QCOMPARE(general->windowTitle(), QStringLiteral("Allgemein"));
        auto err = Build(res::StartError::id);
        QWidget* text = GetDlgItem(err.get(), res::StartError::Text::id);
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
        QWidget* label = GetDlgItem(general.get(), res::General::NameLabel::id);
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
        auto general = Build(res::General::id);
        for (int32_t id : {res::General::Name::id, res::General::NameLabel::id,
                           res::General::Install::id, res::General::Display::id}) {
            QWidget* w = GetDlgItem(general.get(), id);
            SetWindowText(w, text);
            QCOMPARE(GetWindowText(w), text);
        }
        // Once the user changes the text, the new text counts.
        auto* name = GetDlgItem<res::General::Name>(general.get());
        name->setText(QStringLiteral("typed"));
        QCOMPARE(GetWindowText(name), std::string("typed"));
    }
};

QTEST_MAIN(TestDialogTemplates)
#include "tst_dialogtemplates.moc"
