#include "Control.h"

#include "Files.h"
#include "Launcher.h"
#include "Qmp.h"
#include "RunRecord.h"
#include "Text.h"

#define BREVANTIX_IMPLEMENTATION
#include "app/backend/brevantix.h"

namespace bx {

namespace {

constexpr auto kAnswerTime = std::chrono::seconds(3);
constexpr auto kQuitTime = std::chrono::seconds(10);

Deadline In(std::chrono::steady_clock::duration time) {
    return std::chrono::steady_clock::now() + time;
}

std::optional<VerifiedEmulator> Find(const MachineStore& store, std::string_view name) {
    return FindEmulator(store.PathFor(name, ".run"));
}

} // namespace

EmulatorControl::EmulatorControl(const MachineStore& store, std::string baseDirectory)
    : m_store(store), m_baseDirectory(std::move(baseDirectory)) {}

int32_t EmulatorControl::State(std::string_view name) const {
    const std::optional<VerifiedEmulator> emulator = Find(m_store, name);
    if (!emulator)
        return BREVANTIX_STATE_STOPPED;
    // Running, as far as anyone can tell, unless QEMU says it is paused.
    if (const std::unique_ptr<QmpConnection> qmp =
            QmpConnection::Open(emulator->paths.socket, In(kAnswerTime)))
        if (const std::optional<nlohmann::json> status =
                qmp->Execute("query-status", In(kAnswerTime)))
            if (status->value("running", true) == false)
                return BREVANTIX_STATE_PAUSED;
    return BREVANTIX_STATE_RUNNING;
}

bool EmulatorControl::Stop(std::string_view name, bool force) const {
    const std::optional<VerifiedEmulator> emulator = Find(m_store, name);
    if (!emulator)
        return false;
    const std::unique_ptr<QmpConnection> qmp =
        QmpConnection::Open(emulator->paths.socket, In(kAnswerTime));
    if (!force)
        return qmp && qmp->Execute("system_powerdown", In(kAnswerTime));
    // quit; an emulator that does not answer is killed, and only that one.
    if (qmp)
        qmp->Execute("quit", In(kAnswerTime));
    bool gone = WaitUntilEnded(*emulator, In(kQuitTime));
    if (!gone) {
        KillEmulator(*emulator);
        gone = WaitUntilEnded(*emulator, In(kQuitTime));
    }
    if (gone)
        ForgetRun(m_store.PathFor(name, ".run"));
    return gone;
}

std::string EmulatorControl::Info(std::string_view name) const {
    const std::optional<EmulatorOptions> options = m_store.Load(name);
    if (!options)
        return "The virtual machine \"" + std::string(name) + "\" is not stored.";
    const std::string machine = ReadField(options->general.name);
    const LaunchContext context = ContextFor(m_store, machine, m_baseDirectory);
    const std::optional<VerifiedEmulator> emulator = FindEmulator(context.runFile);
    std::string text = "The virtual machine \"" + machine + "\" ";
    if (!emulator)
        return text + "is not running.\nLog of its last start: " + context.logFile +
               (PathExists(context.consoleLogFile)
                    ? "\nConsole transcript of its last start: " + context.consoleLogFile
                    : "");
    text += "is running (process " + std::to_string(emulator->pid) + ").\nLog: " + context.logFile;
    const std::string log = ReadWholeFile(context.logFile).value_or(std::string());
    if (const std::string serial = SerialDescription(*options, context, log); !serial.empty())
        text += "\n" + serial;
    if (PathExists(context.consoleLogFile))
        text += "\nConsole transcript: " + context.consoleLogFile;
    if (const std::string network = NetworkNote(log); !network.empty())
        text += "\n" + network;
    // The record is written as the emulator starts; a machine file saved
    // later holds changes the running emulator does not have.
    if (ModifiedNs(m_store.PathFor(machine, MachineStore::kSuffix)) > emulator->recordedNs)
        text += "\nChanges saved since it started take effect at its next start.";
    return text;
}

std::string SerialDescription(const EmulatorOptions& options, const LaunchContext& context,
                              std::string_view log) {
    if (options.peri.serialEnable == 0)
        return {};
    const std::string kind = Trim(ReadField(options.peri.serialType));
    const std::string param = Trim(ReadField(options.peri.serialParam));
    if (EqualsIgnoreCase(kind, "pty")) {
        const std::string pty = SerialPtyFromLog(log);
        return pty.empty() ? "Serial console: a pty named in the log."
                           : "Serial console: " + pty + " (e.g. screen " + pty + ")";
    }
    if (EqualsIgnoreCase(kind, "window"))
        return "Serial console: in the emulator's window.";
    if (EqualsIgnoreCase(kind, "file"))
        return "Serial console output: " + (param.empty()
                                                ? context.defaultSerialFile
                                                : ResolvePath(context.baseDirectory, param));
    if (EqualsIgnoreCase(kind, "log"))
        return "Serial console output: the log.";
    if (EqualsIgnoreCase(kind, "tcp") || EqualsIgnoreCase(kind, "telnet"))
        return "Serial console: " + kind + " port " + param;
    if (EqualsIgnoreCase(kind, "unix"))
        return "Serial console: Unix socket " + (param.empty()
                                                     ? context.defaultSerialSocket
                                                     : ResolvePath(context.baseDirectory, param));
    return {};
}

std::string NetworkNote(std::string_view log) {
    // QEMU: "warning: requested NIC (anonymous, model unspecified) was not
    // created (not supported by this machine?)"
    const std::size_t at = log.find("requested NIC");
    if (at == std::string_view::npos || log.find("was not created", at) == std::string_view::npos)
        return {};
    return "Network: none reaches the guest. The board has no network card QEMU can attach for "
           "the chosen network (QEMU: \"requested NIC was not created\"); choose (no network), or "
           "a board with a network card.";
}

} // namespace bx
