// The exchange step: a dialog's own copies move to its controls (push) or
// from them (pull). Each DoDataExchange lists its bindings in order.
#pragma once

#include <cstdint>
#include <string>

class QComboBox;
class QWidget;

struct CDataExchange {
    QWidget* m_pDlgWnd;
    bool m_bSaveAndValidate; // true: pull (controls -> copies)
};

// Edit box: its whole text.
void DDX_Text(CDataExchange& dx, int32_t id, std::string& value);
// Drop-down list combo box. Pull: GetComboText. Push: selects the first item
// that begins with the text, case ignored; nothing found keeps the selection.
void DDX_CBString(CDataExchange& dx, int32_t id, std::string& value);
// Combo box items keep the bytes they were added from when their shown text
// cannot give them back (not valid in the locale encoding): the back end's
// names must return to it as it listed them.
void AddComboItem(QComboBox* combo, const std::string& text);
// The selected item's bytes; empty when none is selected. Text typed into an
// editable combo box is converted from what it shows.
std::string GetComboText(const QComboBox* combo);

// Check box: 0 cleared, 1 ticked; a copy outside 0..2 becomes 0 on push.
void DDX_Check(CDataExchange& dx, int32_t id, int32_t& value);
// Radio group starting at `firstId`: index of the ticked button in dialog
// order, -1 when none.
void DDX_Radio(CDataExchange& dx, int32_t firstId, int32_t& value);
