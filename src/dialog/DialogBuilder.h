// Turns a template into Qt widgets: dialog units become pixels from the
// dialog font, each control keeps its numeric id, children are created in
// template order (their stacking order).
#pragma once

#include "dialog/DialogTemplate.h"

#include <QRect>
#include <functional>
#include <string>

class QFont;
class QWidget;

struct DialogUnits {
    int hbase = 0; // average width of A..Z a..z
    int vbase = 0; // font height
    static DialogUnits ForFont(const QFont& font);
    QRect ToPixels(int x, int y, int w, int h) const; // x*hbase/4, y*vbase/8
};

// The desktop's UI font at the template's point size.
QFont DialogFont(const DialogTemplate& t);
// The template's client size in pixels of its dialog font.
QSize TemplateClientSize(const DialogTemplate& t);

// Makes a widget for a control instead of the default one; return null to
// take the default (e.g. a list view class of the dialog's own).
using ControlFactory = std::function<QWidget*(const ControlTemplate&, QWidget* parent)>;

// Sets font, client size and title of `dialog` and creates its controls.
void BuildDialog(QWidget* dialog, const DialogTemplate& t, const ControlFactory& factory = {});

// The numeric id kept on a widget (0 when it has none).
int32_t GetDlgCtrlID(const QWidget* w);
void SetDlgCtrlID(QWidget* w, int32_t id);
// The first direct child with that id; null when none.
QWidget* GetDlgItem(const QWidget* dialog, int32_t id);
// Direct child widgets in stacking order.
std::vector<QWidget*> DirectChildren(const QWidget* dialog);

// A window's caption as bytes of the locale encoding: a dialog's title; the
// text of a label, button, check box, radio button, group box, edit box.
// Combo boxes and list views have none.
std::string GetWindowText(const QWidget* w);
void SetWindowText(QWidget* w, const std::string& text);
void EnableDlgItem(QWidget* dialog, int32_t id, bool enable);
