#include "vmlist/VmContextMenu.h"

#include "app/backend/EmulatorLib.h"
#include "dialog/MessageBox.h"
#include "lang/LanguageManager.h"

namespace {

constexpr const char* kCommandProperty = "vmCommand";

} // namespace

CVmContextMenu::CVmContextMenu(VmRunState state, QWidget* parent) : QMenu(parent) {
    const bool runs = state == VmRunState::Running || state == VmRunState::Paused;
    const bool stopped = state == VmRunState::Stopped;
    const bool canStop = Emu::HasExport("StopEmulator");
    const bool hasInfo = Emu::HasExport("GetEmulatorInfo");
    const bool canClone = Emu::HasExport("CloneEmulator");

    struct Item {
        VmCommand command;
        const char* key;
        const char* defaultText;
        bool shown;
        bool enabled;
    };
    const Item items[] = {
        {VmCommand::Start, "VM_START", "Start", true, !runs},
        {VmCommand::Stop, "VM_STOP", "Stop", canStop, !stopped},
        {VmCommand::ForceOff, "VM_FORCE_OFF", "Force off", canStop, !stopped},
        {VmCommand::Details, "VM_DETAILS", "Details", hasInfo, true},
        // The back end copies stopped machines only: a running one's disks change under the copy.
        {VmCommand::Clone, "VM_CLONE", "Clone...", canClone, !runs},
    };
    std::string text;
    for (const Item& item : items) {
        if (!item.shown)
            continue;
        QAction* action = addAction(FromLocal(GetLangText(item.key, item.defaultText, text)));
        action->setProperty(kCommandProperty, static_cast<int>(item.command));
        action->setEnabled(item.enabled);
    }
}

CVmContextMenu::~CVmContextMenu() = default;

bool CVmContextMenu::Offered() {
    // Start alone would only repeat its button: a back end from before the
    // optional exports keeps the window it had, with no menu texts to look up.
    return Emu::HasExport("GetEmulatorState") || Emu::HasExport("StopEmulator") ||
           Emu::HasExport("GetEmulatorInfo") || Emu::HasExport("CloneEmulator");
}

VmCommand CVmContextMenu::Run(const QPoint& globalPos) {
    const QAction* chosen = exec(globalPos);
    return chosen ? static_cast<VmCommand>(chosen->property(kCommandProperty).toInt())
                  : VmCommand::None;
}
