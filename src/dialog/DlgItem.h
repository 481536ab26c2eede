// Typed control lookup: a control named in res/DialogIds.h comes back as the
// widget class the builder makes for its kind. The kind-to-class map lives
// here only; a factory's own class (a list view subclass) still matches.
#pragma once

#include "dialog/DialogBuilder.h"
#include "dialog/ListViewCtrl.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>

template <CtlKind Kind, bool Multiline = false> struct KindWidget;
template <> struct KindWidget<CtlKind::Label> { using type = QLabel; };
template <> struct KindWidget<CtlKind::Edit, false> { using type = QLineEdit; };
template <> struct KindWidget<CtlKind::Edit, true> { using type = QPlainTextEdit; };
template <> struct KindWidget<CtlKind::Combo> { using type = QComboBox; };
template <> struct KindWidget<CtlKind::Button> { using type = QPushButton; };
template <> struct KindWidget<CtlKind::Check> { using type = QCheckBox; };
template <> struct KindWidget<CtlKind::Radio> { using type = QRadioButton; };
template <> struct KindWidget<CtlKind::Group> { using type = QGroupBox; };
template <> struct KindWidget<CtlKind::List> { using type = CListViewCtrl; };

template <class Control>
using ControlWidget = typename KindWidget<Control::kind, Control::multiline>::type;

// The control as its kind's class; null when the dialog has no such control.
template <class Control> ControlWidget<Control>* GetDlgItem(const QWidget* dialog) {
    return qobject_cast<ControlWidget<Control>*>(GetDlgItem(dialog, Control::id));
}

// Whether `w` is of the class a control of that template is built as.
bool IsOfKindClass(const QWidget* w, const ControlTemplate& c);
