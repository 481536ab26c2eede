#include "dialog/DlgItem.h"

namespace {

template <CtlKind Kind, bool Multiline = false> bool Is(const QWidget* w) {
    return qobject_cast<const typename KindWidget<Kind, Multiline>::type*>(w) != nullptr;
}

} // namespace

bool IsOfKindClass(const QWidget* w, const ControlTemplate& c) {
    switch (c.kind) {
    case CtlKind::Label:
        return Is<CtlKind::Label>(w);
    case CtlKind::Edit:
        return (c.styles & StyleMultiline) ? Is<CtlKind::Edit, true>(w) : Is<CtlKind::Edit>(w);
    case CtlKind::Combo:
        return Is<CtlKind::Combo>(w);
    case CtlKind::Button:
        return Is<CtlKind::Button>(w);
    case CtlKind::Check:
        return Is<CtlKind::Check>(w);
    case CtlKind::Radio:
        return Is<CtlKind::Radio>(w);
    case CtlKind::Group:
        return Is<CtlKind::Group>(w);
    case CtlKind::List:
        return Is<CtlKind::List>(w);
    }
    return false;
}
