#include "dialog/DataExchange.h"

#include "dialog/DialogBuilder.h"
#include "dialog/MessageBox.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QRadioButton>

void DDX_Text(CDataExchange& dx, int32_t id, std::string& value) {
    QWidget* w = GetDlgItem(dx.m_pDlgWnd, id);
    if (!w)
        return;
    if (dx.m_bSaveAndValidate)
        value = GetWindowText(w);
    else
        SetWindowText(w, value);
}

namespace {

constexpr int kBytesRole = Qt::UserRole + 1;

std::string BytesOf(const QByteArray& b) {
    return std::string(b.constData(), static_cast<size_t>(b.size()));
}

char FoldAscii(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

bool BeginsCaseless(const std::string& text, const std::string& prefix, bool whole) {
    if (text.size() < prefix.size() || (whole && text.size() != prefix.size()))
        return false;
    for (size_t i = 0; i < prefix.size(); ++i)
        if (FoldAscii(text[i]) != FoldAscii(prefix[i]))
            return false;
    return true;
}

// Whether item `i` begins with (`whole`: equals) the copy, case ignored. Where
// either side's bytes are not what it shows, the bytes are compared: shown,
// every invalid byte is the same replacement character.
bool ItemMatches(const QComboBox* combo, int i, const std::string& value, const QString& shown,
                 bool valueAsBytes, bool whole) {
    const QVariant bytes = combo->itemData(i, kBytesRole);
    if (valueAsBytes || bytes.isValid()) {
        const std::string item =
            bytes.isValid() ? BytesOf(bytes.toByteArray()) : ToLocal(combo->itemText(i));
        return BeginsCaseless(item, value, whole);
    }
    const QString item = combo->itemText(i);
    return whole ? item.compare(shown, Qt::CaseInsensitive) == 0
                 : item.startsWith(shown, Qt::CaseInsensitive);
}

} // namespace

void AddComboItem(QComboBox* combo, const std::string& text) {
    const QString shown = FromLocal(text);
    combo->addItem(shown);
    if (ToLocal(shown) != text)
        combo->setItemData(combo->count() - 1,
                           QByteArray(text.data(), static_cast<qsizetype>(text.size())),
                           kBytesRole);
}

std::string GetComboText(const QComboBox* combo) {
    const int i = combo ? combo->currentIndex() : -1;
    if (i < 0)
        return {};
    const QVariant bytes = combo->itemData(i, kBytesRole);
    if (bytes.isValid() && combo->currentText() == combo->itemText(i))
        return BytesOf(bytes.toByteArray());
    return ToLocal(combo->currentText());
}

void DDX_CBString(CDataExchange& dx, int32_t id, std::string& value) {
    auto* combo = qobject_cast<QComboBox*>(GetDlgItem(dx.m_pDlgWnd, id));
    if (!combo)
        return;
    if (dx.m_bSaveAndValidate) {
        value = GetComboText(combo);
        return;
    }
    const QString shown = FromLocal(value);
    const bool valueAsBytes = ToLocal(shown) != value; // not valid UTF-8
    // An item equal to the text wins over an earlier item it only begins:
    // otherwise pushing the target "virt" after a pull would select
    // "virt-2.12" and store a choice the user never made. An empty text is a
    // prefix of every item: it selects the first.
    for (const bool whole : {true, false}) {
        for (int i = 0; i < combo->count(); ++i) {
            if (ItemMatches(combo, i, value, shown, valueAsBytes, whole)) {
                combo->setCurrentIndex(i);
                return;
            }
        }
    }
}

void DDX_Check(CDataExchange& dx, int32_t id, int32_t& value) {
    auto* box = qobject_cast<QCheckBox*>(GetDlgItem(dx.m_pDlgWnd, id));
    if (!box)
        return;
    if (dx.m_bSaveAndValidate) {
        switch (box->checkState()) {
        case Qt::Unchecked:
            value = 0;
            break;
        case Qt::Checked:
            value = 1;
            break;
        case Qt::PartiallyChecked:
            value = 2;
            break;
        }
        return;
    }
    if (value < 0 || value > 2)
        value = 0;
    if (value == 2) {
        box->setTristate(true);
        box->setCheckState(Qt::PartiallyChecked);
    } else {
        box->setTristate(false);
        box->setCheckState(value ? Qt::Checked : Qt::Unchecked);
    }
}

namespace {

// The buttons of the radio group that starts at `first`, in dialog order.
QList<QAbstractButton*> RadioGroup(QWidget* first) {
    auto* radio = qobject_cast<QRadioButton*>(first);
    if (!radio)
        return {};
    if (QButtonGroup* group = radio->group())
        return group->buttons();
    return {radio};
}

} // namespace

void DDX_Radio(CDataExchange& dx, int32_t firstId, int32_t& value) {
    QWidget* first = GetDlgItem(dx.m_pDlgWnd, firstId);
    const QList<QAbstractButton*> buttons = RadioGroup(first);
    if (buttons.isEmpty())
        return;
    if (dx.m_bSaveAndValidate) {
        value = -1;
        for (qsizetype i = 0; i < buttons.size(); ++i) {
            if (buttons[i]->isChecked()) {
                value = static_cast<int32_t>(i);
                break;
            }
        }
        return;
    }
    QButtonGroup* group = buttons.first()->group();
    // An exclusive group refuses to clear its last ticked button.
    const bool exclusive = group && group->exclusive();
    if (group)
        group->setExclusive(false);
    for (qsizetype i = 0; i < buttons.size(); ++i)
        buttons[i]->setChecked(i == value);
    if (group)
        group->setExclusive(exclusive);
}
