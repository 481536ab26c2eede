// The machine list's context menu for one machine: start, stop, force off,
// details, clone.
#pragma once

#include "vmlist/VmRunState.h"

#include <QMenu>

enum class VmCommand { None, Start, Stop, ForceOff, Details, Clone };

class CVmContextMenu : public QMenu {
    Q_OBJECT
public:
    // Items whose export the back end lacks are left out (start is one of
    // the seventeen and always there, as its button is); items that do not
    // fit `state` are disabled. Unknown disables nothing.
    explicit CVmContextMenu(VmRunState state, QWidget* parent = nullptr);
    ~CVmContextMenu() override;

    // Whether there is a menu at all: only when the back end has one of the
    // optional exports. Asked at each request, as the exports are.
    static bool Offered();

    // Shows the menu at `globalPos` until it closes; None when dismissed.
    VmCommand Run(const QPoint& globalPos);
};
