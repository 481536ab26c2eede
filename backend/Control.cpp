#include "Control.h"

#include "Files.h"
#include "Launcher.h"
#include "Qmp.h"
#include "Text.h"

#define BREVANTIX_IMPLEMENTATION
#include "app/backend/brevantix.h"

#include <csignal>
#include <thread>

namespace bx {

namespace {

constexpr auto kAnswerTime = std::chrono::seconds(3);
constexpr auto kQuitTime = std::chrono::seconds(10);

std::string SocketOf(const LaunchContext& context) {
    return Trim(ReadWholeFile(context.controlFile, 4096).value_or(""));
}

std::unique_ptr<QmpConnection> Connect(const LaunchContext& context) {
    return QmpConnection::Open(SocketOf(context), std::chrono::steady_clock::now() + kAnswerTime);
}

bool WaitUntilGone(const std::string& pidFile, Deadline until) {
    while (RunningEmulator(pidFile)) {
        if (std::chrono::steady_clock::now() >= until)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return true;
}

} // namespace

EmulatorControl::EmulatorControl(const MachineStore& store, std::string baseDirectory)
    : m_store(store), m_baseDirectory(std::move(baseDirectory)) {}

int32_t EmulatorControl::State(std::string_view name) const {
    const LaunchContext context = ContextFor(m_store, name, m_baseDirectory);
    if (!RunningEmulator(context.pidFile))
        return BREVANTIX_STATE_STOPPED;
    // Running, as far as anyone can tell, unless QEMU says it is paused.
    if (const std::unique_ptr<QmpConnection> qmp = Connect(context))
        if (const std::optional<nlohmann::json> status =
                qmp->Execute("query-status", std::chrono::steady_clock::now() + kAnswerTime))
            if (status->value("running", true) == false)
                return BREVANTIX_STATE_PAUSED;
    return BREVANTIX_STATE_RUNNING;
}

bool EmulatorControl::Stop(std::string_view name, bool force) const {
    const LaunchContext context = ContextFor(m_store, name, m_baseDirectory);
    const std::optional<int> pid = RunningEmulator(context.pidFile);
    if (!pid)
        return false;
    const std::unique_ptr<QmpConnection> qmp = Connect(context);
    if (!force)
        return qmp &&
               qmp->Execute("system_powerdown", std::chrono::steady_clock::now() + kAnswerTime);
    // quit; an emulator that does not answer is killed.
    if (qmp)
        qmp->Execute("quit", std::chrono::steady_clock::now() + kAnswerTime);
    bool gone = WaitUntilGone(context.pidFile, std::chrono::steady_clock::now() + kQuitTime);
    if (!gone) {
        ::kill(*pid, SIGKILL);
        gone = WaitUntilGone(context.pidFile, std::chrono::steady_clock::now() + kQuitTime);
    }
    if (gone)
        RemoveQmpSocket(SocketOf(context));
    return gone;
}

std::string EmulatorControl::Info(std::string_view name) const {
    const std::optional<EmulatorOptions> options = m_store.Load(name);
    if (!options)
        return "The virtual machine \"" + std::string(name) + "\" is not stored.";
    const std::string machine = ReadField(options->general.name);
    const LaunchContext context = ContextFor(m_store, machine, m_baseDirectory);
    const std::optional<int> pid = RunningEmulator(context.pidFile);
    std::string text = "The virtual machine \"" + machine + "\" ";
    if (!pid)
        return text + "is not running.\nLog of its last start: " + context.logFile;
    text += "is running (process " + std::to_string(*pid) + ").\nLog: " + context.logFile;
    const std::string log = ReadWholeFile(context.logFile).value_or(std::string());
    if (const std::string serial = SerialDescription(*options, context, log); !serial.empty())
        text += "\n" + serial;
    // QEMU writes its pid file as it starts; a machine file saved later holds
    // changes the running emulator does not have.
    if (ModifiedNs(m_store.PathFor(machine, MachineStore::kSuffix)) > ModifiedNs(context.pidFile))
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

} // namespace bx
