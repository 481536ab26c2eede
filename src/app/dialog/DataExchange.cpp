#include "DataExchange.h"

#include "DialogBuilder.h"
#include "MessageBox.h"

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

void DDX_CBString(CDataExchange& dx, int32_t id, std::string& value) {
    auto* combo = qobject_cast<QComboBox*>(GetDlgItem(dx.m_pDlgWnd, id));
    if (!combo)
        return;
    if (dx.m_bSaveAndValidate) {
        value = combo->currentIndex() >= 0 ? ToLocal(combo->currentText()) : std::string();
        return;
    }
    // An item equal to the text wins over an earlier item it only begins:
    // otherwise pushing the target "virt" after a pull would select
    // "virt-2.12" and store a choice the user never made.
    const QString prefix = FromLocal(value);
    for (int i = 0; i < combo->count(); ++i) {
        if (combo->itemText(i).compare(prefix, Qt::CaseInsensitive) == 0) {
            combo->setCurrentIndex(i);
            return;
        }
    }
    // An empty text is a prefix of every item: it selects the first.
    for (int i = 0; i < combo->count(); ++i) {
        if (combo->itemText(i).startsWith(prefix, Qt::CaseInsensitive)) {
            combo->setCurrentIndex(i);
            return;
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
