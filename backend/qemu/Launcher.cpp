#include "Launcher.h"

#include "Boards.h"
#include "Choices.h"
#include "ConsoleCheck.h"
#include "Control.h"
#include "Files.h"
#include "Images.h"
#include "KernelImage.h"
#include "Log.h"
#include "Process.h"
#include "QemuArgv.h"
#include "Qmp.h"
#include "RunRecord.h"
#include "Text.h"

#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace bx {

namespace {

constexpr std::size_t kMessageTail = 4000;

std::string Quoted(std::string_view text) {
    return "\"" + std::string(text) + "\"";
}

// A shell-like rendering of the command for the log; never executed.
std::string CommandForLog(const std::vector<std::string>& argv) {
    std::string line;
    for (const std::string& arg : argv) {
        if (!line.empty())
            line += ' ';
        const bool plain =
            !arg.empty() && arg.find_first_of(" \t\n'\"\\$`;&|<>()*?[]#~") == std::string::npos;
        if (plain) {
            line += arg;
            continue;
        }
        line += '\'';
        for (char c : arg) {
            if (c == '\'')
                line += "'\\''";
            else if (c == '\n')
                line += "'$'\\n''";
            else
                line += c;
        }
        line += '\'';
    }
    return line;
}

std::string FileCheck(const std::string& path, const char* what) {
    if (!PathExists(path))
        return std::string("The ") + what + " " + path + " does not exist.";
    if (!IsRegularFile(path))
        return std::string("The ") + what + " " + path + " is not a file.";
    if (::access(path.c_str(), R_OK) != 0)
        return std::string("The ") + what + " " + path + " cannot be read: " + std::strerror(errno);
    return {};
}

std::string Joined(const std::vector<std::string>& items) {
    std::string text;
    for (const std::string& item : items)
        text += (text.empty() ? "" : ", ") + item;
    return text;
}

// The device tree the machine names, else the one its board needs, looked
// for beside the kernel and where distributions put a kernel's trees. Gives
// why the machine cannot start without one.
std::string ChooseDeviceTree(const EmulatorOptions& options, const std::string& kernel,
                             LaunchContext& context) {
    if (const std::optional<std::string> given =
            ExplicitDeviceTree(options, context.baseDirectory)) {
        if (given->empty())
            return "The peripheral " + std::string(kDeviceTreeKind) +
                   " needs the path of a device tree (.dtb) as its parameter.";
        context.deviceTree = *given;
        return DeviceTreeProblem(*given);
    }
    const std::optional<TargetName> target = ParseTargetText(ReadField(options.general.target));
    const BoardInfo* board = target ? FindBoard(target->arch, target->board) : nullptr;
    if (!board || board->deviceTrees.empty())
        return {}; // the board makes its own
    const std::vector<std::string> places = DeviceTreePlaces(kernel);
    context.deviceTree = FindDeviceTree(*board, places);
    if (context.deviceTree.empty()) {
        std::vector<std::string> names(board->deviceTrees.begin(), board->deviceTrees.end());
        return "The board " + target->board + " needs a device tree (" + Joined(names) +
               "), and none was found in " + Joined(places) +
               " or their subfolders. Install the kernel's package with its device trees, or "
               "add a peripheral of kind " +
               std::string(kDeviceTreeKind) + " with the path of the board's .dtb file.";
    }
    return DeviceTreeProblem(context.deviceTree);
}

// Starts the reader that keeps the console's transcript in `file` and gives
// the write end of its pipe, for QEMU; invalid when it cannot run (the
// start goes on without a transcript, and the back end's log says why).
Fd StartConsoleLogger(const std::string& program, const std::string& file) {
    // Ready at once: an exec failure would show only later.
    if (::access(program.c_str(), X_OK) != 0) {
        LogLine("No console transcript in " + file + ": " + program + " cannot be run (" +
                std::strerror(errno) + ")");
        return Fd();
    }
    int pipe[2] = {-1, -1};
    if (::pipe2(pipe, O_CLOEXEC) != 0) {
        LogLine("No console transcript: " + std::string(std::strerror(errno)));
        return Fd();
    }
    Fd readEnd(pipe[0]), writeEnd(pipe[1]);
    const Fd quiet(::open("/dev/null", O_WRONLY | O_CLOEXEC));
    const DetachedStart reader =
        StartDetached({program, file, std::to_string(kConsoleTranscriptLimit)}, quiet.get(),
                      [](int) { return true; }, {readEnd.get()});
    if (reader.outcome != DetachedStart::Outcome::Running) {
        LogLine("No console transcript in " + file + ": " + program + " could not be run (" +
                std::strerror(reader.error) + ")");
        return Fd();
    }
    return writeEnd;
}

// A board of the table whose console the command line misses: the guest
// would run with its console nowhere, and the user would see nothing.
std::string BoardConsoleProblem(const EmulatorOptions& options) {
    const std::optional<TargetName> target = ParseTargetText(ReadField(options.general.target));
    const BoardInfo* board = target ? FindBoard(target->arch, target->board) : nullptr;
    if (!board)
        return {};
    const bool serialOn = options.peri.serialEnable != 0 &&
                          !EqualsIgnoreCase(Trim(ReadField(options.peri.serialType)), "none");
    return ConsoleProblem(target->board, board->console, ReadField(options.os.cmdLine), serialOn);
}

// The run file is ours only while it is small, plain and has no other name:
// anything else (a disk image named there by mistake) is not overwritten.
std::string RunFileProblem(int fd, const std::string& path) {
    struct stat st {};
    if (::fstat(fd, &st) != 0)
        return "Cannot read " + path + ": " + std::strerror(errno);
    if (!S_ISREG(st.st_mode) || st.st_nlink != 1 || st.st_size > 4096)
        return "The file " + path + " is not the back end's run file of this machine (it is " +
               std::to_string(st.st_size) +
               " bytes, or has other names); move it out of the way, perhaps a disk image was "
               "saved there.";
    return {};
}

bool ReplaceContents(int fd, const std::string& text) {
    return ::ftruncate(fd, 0) == 0 &&
           ::pwrite(fd, text.data(), text.size(), 0) == static_cast<ssize_t>(text.size());
}

// The files the back end keeps beside its machines (logs, run files) are no
// disks: a guest writing there, or a start truncating its log, would destroy
// them. The default images (<stem>.sd.img, <stem>.hd.img) are disks.
std::string StoreFileAsImage(const DiskPlans& disks, const std::string& storeDirectory) {
    const std::string store = RealPath(storeDirectory);
    for (const DiskPlan* plan : {&disks.sd, &disks.hd}) {
        if (!plan->used || store.empty() || RealPath(ParentDirectory(plan->path)) != store)
            continue;
        const std::string file = plan->path.substr(plan->path.rfind('/') + 1);
        if (!file.ends_with(".sd.img") && !file.ends_with(".hd.img"))
            return "The disk image " + plan->path +
                   " is in the directory where the back end keeps its machines' own files; "
                   "choose an image outside " +
                   storeDirectory + ".";
    }
    return {};
}

} // namespace

LaunchContext ContextFor(const MachineStore& store, std::string_view machine,
                         const std::string& baseDirectory) {
    LaunchContext context;
    context.baseDirectory = baseDirectory;
    context.defaultSdImage = store.PathFor(machine, ".sd.img");
    context.defaultHdImage = store.PathFor(machine, ".hd.img");
    context.logFile = store.PathFor(machine, ".log");
    context.defaultSerialFile = store.PathFor(machine, ".serial.txt");
    context.defaultSerialSocket = store.PathFor(machine, ".serial.sock");
    context.runFile = store.PathFor(machine, ".run");
    context.consoleLogFile = store.PathFor(machine, ".console.txt");
    return context;
}

std::string SerialPtyFromLog(std::string_view log) {
    constexpr std::string_view marker = "char device redirected to ";
    for (std::size_t at = log.find(marker); at != std::string_view::npos;
         at = log.find(marker, at + 1)) {
        const std::size_t start = at + marker.size();
        const std::size_t end = log.find(' ', start);
        const std::size_t lineEnd = log.find('\n', start);
        if (end == std::string_view::npos || (lineEnd != std::string_view::npos && lineEnd < end))
            continue;
        if (log.substr(end,
                       lineEnd == std::string_view::npos ? std::string_view::npos : lineEnd - end)
                .find("label serial0") != std::string_view::npos)
            return std::string(log.substr(start, end - start));
    }
    return {};
}

Launcher::Launcher(const MachineStore& store, std::string baseDirectory, std::string searchPath,
                   int readyMs, std::string consoleLogger)
    : m_store(store), m_baseDirectory(std::move(baseDirectory)),
      m_searchPath(std::move(searchPath)), m_readyMs(readyMs),
      m_consoleLogger(std::move(consoleLogger)) {}

StartOutcome Launcher::Start(std::string_view name) const {
    StartOutcome outcome;
    auto fail = [&outcome](std::string message) {
        outcome.started = false;
        outcome.message = std::move(message);
        return outcome;
    };
    std::optional<StoredMachine> stored = m_store.LoadStored(name);
    if (!stored)
        return fail("The virtual machine " + Quoted(name) + " is not stored, or its file in " +
                    m_store.Directory() + " cannot be read.");
    const EmulatorOptions& options = stored->options;
    const std::string machine = ReadField(options.general.name);

    std::string arch;
    if (std::optional<TargetName> target = ParseTargetText(ReadField(options.general.target)))
        arch = target->arch;
    else
        arch = ReadField(options.general.arch);
    if (!IsArchName(arch))
        return fail("The target " + Quoted(ReadField(options.general.target)) +
                    " names no architecture; choose a target again.");
    const std::string program = "qemu-system-" + arch;
    const std::string binary = FindExecutable(program, m_searchPath);
    if (binary.empty())
        return fail(program + " was not found; install the Debian package " +
                    DebianPackageFor(arch));

    LaunchContext context = ContextFor(m_store, machine, m_baseDirectory);
    context.binary = binary;
    context.desktop = HaveDesktopSession();

    // One start at a time per machine, across processes: the starter holds
    // an flock on the machine's run file, which names the record of the
    // emulator it starts and follows the machine through renames.
    Fd runFile(::open(context.runFile.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600));
    if (runFile.get() < 0)
        return fail("Cannot open " + context.runFile + ": " + std::strerror(errno));
    if (std::string problem = RunFileProblem(runFile.get(), context.runFile); !problem.empty())
        return fail(problem);
    while (::flock(runFile.get(), LOCK_EX) != 0 && errno == EINTR) {
    }
    if (const std::optional<VerifiedEmulator> running = FindEmulator(context.runFile))
        return fail("The virtual machine " + Quoted(machine) + " is already running (process " +
                    std::to_string(running->pid) +
                    "). Two emulators on one disk image would corrupt it; stop the running one "
                    "first.");

    const std::string kernel = ResolvePath(m_baseDirectory, ReadField(options.os.osImage));
    if (kernel.empty())
        return fail("No kernel image is set.");
    if (std::string problem = FileCheck(kernel, "kernel image"); !problem.empty())
        return fail(problem);
    // QEMU would start a kernel of another processor and show nothing at all.
    {
        const std::string target = ReadField(options.general.target);
        const std::optional<TargetName> parsed = ParseTargetText(target);
        if (std::string problem = KernelImageProblem(kernel, arch, parsed ? parsed->board : target);
            !problem.empty())
            return fail(problem);
    }
    if (const std::string initrd = ReadField(options.os.initrdImage); !initrd.empty())
        if (std::string problem = FileCheck(ResolvePath(m_baseDirectory, initrd), "initrd image");
            !problem.empty())
            return fail(problem);

    if (std::string problem = ChooseDeviceTree(options, kernel, context); !problem.empty())
        return fail(problem);
    if (std::string problem = BoardConsoleProblem(options); !problem.empty())
        return fail(problem);

    const DiskPlans disks = PlanDisks(options, context);
    if (!disks.error.empty())
        return fail(disks.error);
    if (std::string problem = StoreFileAsImage(disks, m_store.Directory()); !problem.empty())
        return fail(problem);
    // Each image's format is decided once and then always given to QEMU:
    // probing an image that a guest has written to would let the guest
    // choose a format, and with qcow2 a host file to open as its backing.
    bool decided = false;
    for (auto [plan, format] :
         {std::pair{&disks.sd, &context.sdFormat}, std::pair{&disks.hd, &context.hdFormat}}) {
        if (!plan->used)
            continue;
        if (PathExists(plan->path)) {
            if (!IsImageFile(plan->path))
                return fail("The disk image " + plan->path + " is neither a file nor a device.");
            // Only the back end makes its default images, always raw.
            const bool own =
                plan->path == context.defaultSdImage || plan->path == context.defaultHdImage;
            const std::optional<std::string> known =
                DecideFormat(m_store, stored->images, plan->path,
                             own ? Undecided::Raw : Undecided::Refuse, decided);
            if (!known)
                return fail("The disk image " + plan->path +
                            " has no recorded format; open the machine's settings and press OK "
                            "to record it.");
            *format = *known;
            continue;
        }
        std::string error;
        if (plan->createBytes == 0)
            return fail("The disk image " + plan->path + " does not exist.");
        if (!CreateSparseImage(plan->path, plan->createBytes, error))
            return fail(error);
        *format = "raw";
        RememberFormat(stored->images, plan->path, *format);
        decided = true;
    }
    // Unrecorded, the next start would have to probe an image the guest has
    // had by then.
    if (std::string error; decided && !m_store.Save(options, stored->images, &error))
        return fail("Cannot record the formats of the disk images in the machine's file (" + error +
                    "); the machine does not start without them.");

    // Not running (checked above, under the start lock): what its last run
    // left is stale.
    ForgetRun(context.runFile);
    std::string runError;
    const std::optional<RunPaths> run = NewRunPaths(runError);
    if (!run)
        return fail(runError);
    Fd listener = ListenQmpSocket(run->socket, runError);
    if (!listener.valid())
        return fail(runError);
    context.qmpSocket = run->socket;
    context.qmpSocketFd = kHandedOverFd;
    context.pidFile = run->pidFile;
    // QEMU's end of the transcript's pipe; the reader has the other.
    Fd transcript;
    if (options.peri.serialEnable != 0 && !m_consoleLogger.empty()) {
        transcript = StartConsoleLogger(m_consoleLogger, context.consoleLogFile);
        if (transcript.valid())
            context.consoleLogFd = kHandedOverFd + 1;
    }
    const QemuCommand command = BuildQemuArgv(options, context);
    if (!command.error.empty())
        return fail(command.error);
    if (!ReplaceContents(runFile.get(), run->record + "\n"))
        return fail("Cannot write " + context.runFile + ": " + std::strerror(errno));

    Fd log(
        ::open(context.logFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_APPEND | O_CLOEXEC, 0600));
    if (log.get() < 0)
        return fail("Cannot open the log " + context.logFile + ": " + std::strerror(errno));
    const std::string header = "tarnwick: " + CommandForLog(command.argv) + "\n";
    if (::write(log.get(), header.data(), header.size()) != static_cast<ssize_t>(header.size()))
        return fail("Cannot write the log " + context.logFile + ": " + std::strerror(errno));

    // Started is when QEMU answers on its control socket: by then it has
    // taken its arguments, images and kernel.
    const Deadline until = std::chrono::steady_clock::now() + std::chrono::milliseconds(m_readyMs);
    const DetachedStart start = StartDetached(
        command.argv, log.get(),
        [&](int endFd) {
            // QEMU has its own copy now; with ours gone, a QEMU that ends
            // takes the socket, and a connection waiting there, with it.
            listener.close();
            return QmpConnection::Open(context.qmpSocket, until, endFd) != nullptr;
        },
        transcript.valid() ? std::vector<int>{listener.get(), transcript.get()}
                           : std::vector<int>{listener.get()});
    transcript.close(); // the reader ends when QEMU's end is the last one gone
    // Control finds the emulator through this record alone.
    if (start.outcome == DetachedStart::Outcome::Running && !WriteRunRecord(*run, start.pid)) {
        ::kill(start.pid, SIGKILL);
        return fail("Cannot record the started emulator in " + run->record +
                    "; it was ended, since it could not be stopped later.");
    }
    const std::string logText = ReadWholeFile(context.logFile).value_or(std::string());
    const std::string qemuText =
        Trim(logText.size() > header.size() ? logText.substr(header.size()) : std::string());

    if (start.outcome == DetachedStart::Outcome::NotStarted)
        return fail("Cannot run " + binary + ": " + std::strerror(start.error));
    if (start.outcome == DetachedStart::Outcome::NotReady) {
        ::kill(start.pid, SIGKILL);
        return fail(program + " did not answer on its control socket within " +
                    std::to_string((m_readyMs + 999) / 1000) + " s and was ended; its log is " +
                    context.logFile);
    }
    if (start.outcome == DetachedStart::Outcome::Exited) {
        std::string text = program + " stopped at once";
        if (qemuText.empty())
            return fail(text + " without a message; its log is " + context.logFile);
        const std::string tail = qemuText.size() > kMessageTail
                                     ? "..." + qemuText.substr(qemuText.size() - kMessageTail)
                                     : qemuText;
        return fail(text + ":\n" + tail + "\n(log: " + context.logFile + ")");
    }

    outcome.started = true;
    outcome.message = "The virtual machine " + Quoted(machine) + " is running (process " +
                      std::to_string(start.pid) + ").\nLog: " + context.logFile;
    if (const std::string serial = SerialDescription(options, context, logText); !serial.empty())
        outcome.message += "\n" + serial;
    if (context.consoleLogFd >= 0)
        outcome.message += "\nConsole transcript: " + context.consoleLogFile;
    if (const std::string network = NetworkNote(logText); !network.empty()) {
        outcome.message += "\n" + network;
        LogLine("The virtual machine " + machine + ": " + network);
    }
    return outcome;
}

} // namespace bx
