#include "Defaults.h"

#include "Boards.h"
#include "Tap.h"
#include "Text.h"

#include <cstring>

namespace bx {

void FillDefaults(EmulatorOptions& options, ChoiceCatalogue& catalogue, std::string_view extra) {
    std::memset(&options, 0, sizeof options);
    if (const auto first = catalogue.FirstTarget(extra)) {
        WriteField(options.general.target, first->first);
        WriteField(options.general.cpu, first->second);
        WriteField(options.general.arch, catalogue.ArchOf(first->first));
        if (const std::optional<TargetName> target = ParseTargetText(first->first))
            WriteField(options.os.cmdLine,
                       "console=" + ConsoleDeviceFor(target->arch, target->board));
    }
    options.general.memSize = 256;
    if (const std::optional<TargetName> target = ParseTargetText(ReadField(options.general.target)))
        if (const BoardInfo* board = FindBoard(target->arch, target->board))
            options.general.memSize = static_cast<int32_t>(MemoryFor(*board, 256));
    WriteField(options.general.memType, "MB");
    WriteField(options.general.tapAdapter, kUserNetwork);
    WriteField(options.disk.sdMemType, "MB");
    WriteField(options.disk.hdMemType, "MB");
    options.peri.serialEnable = 1;
    // On a desktop the console opens in a window of its own, so a start is
    // seen at once; elsewhere a pty that a terminal can attach to.
    WriteField(options.peri.serialType, HaveDesktopSession() ? "window" : "pty");
}

} // namespace bx
