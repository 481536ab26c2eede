#include "dialog/DialogBuilder.h"

#include "dialog/ListViewCtrl.h"
#include "dialog/MessageBox.h"

#include <QAbstractItemView>
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
#include <QTextDocument>
#include <QValidator>
#include <limits>

namespace {

const char* const kCtrlIdProperty = "tarnwickCtrlId";
// The bytes a caption was set from, kept with what the widget showed of them
// when they do not survive the round trip (invalid sequences, CR LF in a
// multi-line edit): while the caption is unchanged, reading it gives the same
// bytes back instead of replacement characters or altered line ends.
const char* const kCaptionBytesProperty = "tarnwickCaptionBytes";
const char* const kCaptionShownProperty = "tarnwickCaptionShown";

// Digits only, and no value above the int32 fields the boxes feed.
class CNumberValidator : public QValidator {
public:
    using QValidator::QValidator;
    State validate(QString& input, int&) const override {
        qsizetype first = 0;
        for (qsizetype i = 0; i < input.size(); ++i) {
            if (input[i] < QLatin1Char('0') || input[i] > QLatin1Char('9'))
                return Invalid;
        }
        while (first < input.size() && input[first] == QLatin1Char('0'))
            ++first;
        const qsizetype digits = input.size() - first;
        if (digits > 10)
            return Invalid;
        if (digits == 10 && QStringView(input).mid(first) > QStringLiteral("2147483647"))
            return Invalid;
        return Acceptable;
    }
};

QWidget* CreateEdit(const ControlTemplate& c, QWidget* parent) {
    if (c.styles & StyleMultiline) {
        auto* e = new QPlainTextEdit(parent);
        e->setTabChangesFocus(true);
        e->setReadOnly(c.styles & StyleReadOnly);
        if (c.styles & StyleReadOnly)
            e->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
        // A horizontally scrolling edit never wraps; one without wraps its lines.
        e->setLineWrapMode((c.styles & StyleHScroll) ? QPlainTextEdit::NoWrap
                                                     : QPlainTextEdit::WidgetWidth);
        e->setHorizontalScrollBarPolicy((c.styles & StyleHScroll) ? Qt::ScrollBarAlwaysOn
                                                                  : Qt::ScrollBarAlwaysOff);
        e->setVerticalScrollBarPolicy((c.styles & StyleVScroll) ? Qt::ScrollBarAlwaysOn
                                                                : Qt::ScrollBarAlwaysOff);
        if (!(c.styles & StyleBorder))
            e->setFrameShape(QFrame::NoFrame);
        return e;
    }
    auto* e = new QLineEdit(parent);
    e->setFrame(c.styles & StyleBorder);
    e->setReadOnly(c.styles & StyleReadOnly);
    // Only typing is bounded, by the validator; set texts are never cut.
    e->setMaxLength(std::numeric_limits<int>::max());
    if (c.styles & StyleNumber)
        e->setValidator(new CNumberValidator(e));
    return e;
}

QWidget* CreateCheck(const ControlTemplate& c, QWidget* parent) {
    auto* b = new QCheckBox(FromLocal(c.caption), parent);
    // A pushed value of 2 shows as the third state; once the user changes the
    // box it is a two-state box again.
    QObject::connect(b, &QCheckBox::stateChanged, b, [b](int state) {
        if (state != Qt::PartiallyChecked)
            b->setTristate(false);
    });
    return b;
}

QWidget* CreateDefault(const ControlTemplate& c, QWidget* parent) {
    const QString caption = QString::fromStdString(c.caption);
    switch (c.kind) {
    case CtlKind::Label: {
        auto* l = new QLabel(caption, parent);
        l->setTextFormat(Qt::PlainText);
        l->setWordWrap(true);
        l->setAlignment(Qt::AlignLeft | Qt::AlignTop);
        return l;
    }
    case CtlKind::Edit:
        return CreateEdit(c, parent);
    case CtlKind::Combo: {
        auto* b = new QComboBox(parent);
        b->setEditable(false);
        return b;
    }
    case CtlKind::Button: {
        auto* b = new QPushButton(caption, parent);
        b->setAutoDefault(false);
        b->setDefault(c.styles & StyleDefault);
        return b;
    }
    case CtlKind::Check:
        return CreateCheck(c, parent);
    case CtlKind::Radio:
        return new QRadioButton(caption, parent);
    case CtlKind::Group: {
        auto* g = new QGroupBox(caption, parent);
        // A frame drawn around its siblings: clicks belong to what lies beneath.
        g->setAttribute(Qt::WA_TransparentForMouseEvents);
        g->setFocusPolicy(Qt::NoFocus);
        return g;
    }
    case CtlKind::List:
        return new CListViewCtrl(parent);
    }
    return new QWidget(parent);
}

} // namespace

DialogUnits DialogUnits::ForFont(const QFont& font) {
    const QFontMetrics fm(font);
    const int width = fm.horizontalAdvance(
        QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"));
    DialogUnits du;
    du.hbase = (width / 26 + 1) / 2; // average of the 52 letters, rounded
    du.vbase = fm.height();
    return du;
}

QRect DialogUnits::ToPixels(int x, int y, int w, int h) const {
    return QRect(x * hbase / 4, y * vbase / 8, w * hbase / 4, h * vbase / 8);
}

QFont DialogFont(const DialogTemplate& t) {
    QFont font = QApplication::font();
    font.setPointSize(t.pointSize > 0 ? t.pointSize : 8);
    return font;
}

QSize TemplateClientSize(const DialogTemplate& t) {
    return DialogUnits::ForFont(DialogFont(t)).ToPixels(0, 0, t.w, t.h).size();
}

void BuildDialog(QWidget* dialog, const DialogTemplate& t, const ControlFactory& factory) {
    const QFont font = DialogFont(t);
    const DialogUnits du = DialogUnits::ForFont(font);
    dialog->setFont(font);
    dialog->setFixedSize(TemplateClientSize(t));
    dialog->setWindowTitle(QString::fromStdString(t.caption));

    QButtonGroup* radioGroup = nullptr;
    for (const ControlTemplate& c : t.controls) {
        QWidget* w = factory ? factory(c, dialog) : nullptr;
        if (!w)
            w = CreateDefault(c, dialog);
        if (w->parentWidget() != dialog)
            w->setParent(dialog);
        w->setFont(font);
        SetDlgCtrlID(w, c.id);
        if (c.kind == CtlKind::List) {
            if (auto* view = qobject_cast<QAbstractItemView*>(w))
                view->setSelectionMode((c.styles & StyleMultiSelect)
                                           ? QAbstractItemView::ExtendedSelection
                                           : QAbstractItemView::SingleSelection);
        }
        if (auto* radio = qobject_cast<QRadioButton*>(w)) {
            // Each group is exclusive on its own, however the buttons lie.
            if (!radioGroup || (c.styles & StyleGroupStart))
                radioGroup = new QButtonGroup(dialog);
            radioGroup->addButton(radio);
        }
        QRect r = du.ToPixels(c.x, c.y, c.w, c.h);
        if (c.kind == CtlKind::Combo)
            r.setHeight(w->sizeHint().height()); // the template height is the open list's
        w->setGeometry(r);
        if (c.styles & StyleDisabled)
            w->setEnabled(false);
        w->setVisible(true);
    }
}

int32_t GetDlgCtrlID(const QWidget* w) {
    if (!w)
        return 0;
    const QVariant v = w->property(kCtrlIdProperty);
    return v.isValid() ? v.toInt() : 0;
}

void SetDlgCtrlID(QWidget* w, int32_t id) {
    if (w)
        w->setProperty(kCtrlIdProperty, id);
}

QWidget* GetDlgItem(const QWidget* dialog, int32_t id) {
    if (!dialog)
        return nullptr;
    for (QObject* o : dialog->children()) {
        auto* w = qobject_cast<QWidget*>(o);
        if (w && !w->isWindow() && GetDlgCtrlID(w) == id && w->property(kCtrlIdProperty).isValid())
            return w;
    }
    return nullptr;
}

std::vector<QWidget*> DirectChildren(const QWidget* dialog) {
    std::vector<QWidget*> result;
    if (!dialog)
        return result;
    for (QObject* o : dialog->children()) {
        auto* w = qobject_cast<QWidget*>(o);
        if (w && !w->isWindow())
            result.push_back(w);
    }
    return result;
}

namespace {

bool HasNoCaption(const QWidget* w) {
    return qobject_cast<const QComboBox*>(w) || qobject_cast<const QAbstractItemView*>(w);
}

QString PlainText(const QPlainTextEdit* e) {
    // toPlainText() would turn no-break spaces into blanks.
    QString text = e->document()->toRawText();
    text.replace(QChar::ParagraphSeparator, QLatin1Char('\n'));
    text.replace(QChar::LineSeparator, QLatin1Char('\n'));
    return text;
}

QString CaptionOf(const QWidget* w) {
    if (auto* l = qobject_cast<const QLabel*>(w))
        return l->text();
    if (auto* b = qobject_cast<const QAbstractButton*>(w))
        return b->text();
    if (auto* g = qobject_cast<const QGroupBox*>(w))
        return g->title();
    if (auto* e = qobject_cast<const QLineEdit*>(w))
        return e->text();
    if (auto* e = qobject_cast<const QPlainTextEdit*>(w))
        return PlainText(e);
    return w->windowTitle();
}

void SetCaptionOf(QWidget* w, const QString& text) {
    if (auto* l = qobject_cast<QLabel*>(w))
        l->setText(text);
    else if (auto* b = qobject_cast<QAbstractButton*>(w))
        b->setText(text);
    else if (auto* g = qobject_cast<QGroupBox*>(w))
        g->setTitle(text);
    else if (auto* e = qobject_cast<QLineEdit*>(w))
        e->setText(text);
    else if (auto* e = qobject_cast<QPlainTextEdit*>(w))
        e->setPlainText(text);
    else
        w->setWindowTitle(text);
}

} // namespace

std::string GetWindowText(const QWidget* w) {
    if (!w || HasNoCaption(w))
        return {};
    const QString caption = CaptionOf(w);
    const QVariant shown = w->property(kCaptionShownProperty);
    if (shown.isValid() && shown.toString() == caption) {
        const QByteArray b = w->property(kCaptionBytesProperty).toByteArray();
        return std::string(b.constData(), static_cast<size_t>(b.size()));
    }
    return ToLocal(caption);
}

void SetWindowText(QWidget* w, const std::string& text) {
    if (!w || HasNoCaption(w))
        return;
    SetCaptionOf(w, FromLocal(text));
    const QString shown = CaptionOf(w);
    if (ToLocal(shown) != text) {
        w->setProperty(kCaptionBytesProperty,
                       QByteArray(text.data(), static_cast<qsizetype>(text.size())));
        w->setProperty(kCaptionShownProperty, shown);
    } else if (w->property(kCaptionShownProperty).isValid()) {
        w->setProperty(kCaptionBytesProperty, QVariant());
        w->setProperty(kCaptionShownProperty, QVariant());
    }
}

void EnableDlgItem(QWidget* dialog, int32_t id, bool enable) {
    if (QWidget* w = GetDlgItem(dialog, id))
        w->setEnabled(enable);
}
