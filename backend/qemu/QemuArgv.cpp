#include "QemuArgv.h"

#include "Boards.h"
#include "Choices.h"
#include "Files.h"
#include "HostPeripherals.h"
#include "Tap.h"
#include "Text.h"

#include <algorithm>
#include <sys/un.h>

namespace bx {

namespace {

bool IsAlnum(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
}

std::string Quoted(std::string_view text) {
    return "\"" + std::string(text) + "\"";
}

// Bytes of `size` units, or 0 with `error` set.
uint64_t SizeInBytes(int32_t size, std::string_view unit, const char* what, std::string& error) {
    if (size < 0) {
        error = std::string("The ") + what + " size " + std::to_string(size) + " is negative.";
        return 0;
    }
    const uint64_t perUnit = unit.empty() ? BytesPerUnit("MB") : BytesPerUnit(unit);
    if (perUnit == 0) {
        error = std::string("The ") + what + " size unit " + Quoted(unit) +
                " is unknown; use MB or GB.";
        return 0;
    }
    return static_cast<uint64_t>(size) * perUnit;
}

uint64_t NextPowerOfTwo(uint64_t value) {
    uint64_t p = 1;
    while (p < value)
        p <<= 1;
    return p;
}

bool IsVirtioBoard(std::string_view board) {
    return board == "virt" || StartsWith(board, "virt-");
}

TargetName TargetOf(const EmulatorOptions& options) {
    const std::string target = ReadField(options.general.target);
    if (std::optional<TargetName> parsed = ParseTargetText(target))
        return *parsed;
    return {target, ReadField(options.general.arch)};
}

// -drive options for a disk on the board's interface. Boards the table does
// not know get the hard disk on their default interface and the card on
// "sd" (virtio on virt), as QEMU places them.
bool AddDisk(std::vector<std::string>& argv, const BoardInfo* info, bool card,
             std::string_view board, const std::string& path, const std::string& format,
             bool discardWrites, std::string& error) {
    std::string_view bus = info ? (card ? info->cardBus : info->diskBus)
                                : (card ? (IsVirtioBoard(board) ? "virtio" : "sd") : "");
    const char* what = card ? "an SD card" : "a hard disk";
    if (info && bus.empty()) {
        error = "The board " + std::string(board) + " has no interface for " + what + "; " +
                (card ? "use a hard disk instead, or another board."
                      : "put the image on the SD card instead, or choose another board.");
        return false;
    }
    // With snapshot=on the image is only read, under a temporary overlay
    // that names its format, so nothing is probed either.
    const std::string file = "file=" + QemuOptionValue(path) + ",format=" + format +
                             (discardWrites ? ",snapshot=on" : "");
    if (bus == "virtio-mmio") {
        const std::string id = card ? "card0" : "disk0";
        argv.insert(argv.end(), {"-drive", "if=none,id=" + id + "," + file, "-device",
                                 "virtio-blk-device,drive=" + id});
    } else {
        argv.insert(argv.end(),
                    {"-drive", bus.empty() ? file : "if=" + std::string(bus) + "," + file});
    }
    return true;
}

std::string KernelCommandLine(std::string cmdLine) {
    // A command line is one line; pasted line breaks separate words.
    std::replace(cmdLine.begin(), cmdLine.end(), '\n', ' ');
    std::replace(cmdLine.begin(), cmdLine.end(), '\r', ' ');
    return Trim(cmdLine);
}

// The -chardev value of the serial port, empty for none.
std::string SerialBackend(const EmulatorOptions& options, const LaunchContext& context,
                          std::string& error) {
    const std::string kind = Trim(ReadField(options.peri.serialType));
    const std::string param = Trim(ReadField(options.peri.serialParam));
    const std::string id = "id=serial0";
    if (EqualsIgnoreCase(kind, "pty"))
        return "pty," + id;
    if (EqualsIgnoreCase(kind, "window")) {
        if (!context.desktop)
            error = "The serial port kind window shows the console in a window on the desktop, "
                    "but this session has none (neither DISPLAY nor WAYLAND_DISPLAY is set); "
                    "choose pty, file or log.";
        return "vc," + id;
    }
    if (EqualsIgnoreCase(kind, "file")) {
        const std::string path =
            param.empty() ? context.defaultSerialFile : ResolvePath(context.baseDirectory, param);
        return "file," + id + ",path=" + QemuOptionValue(path);
    }
    if (EqualsIgnoreCase(kind, "log"))
        return "file," + id + ",path=" + QemuOptionValue(context.logFile) + ",append=on";
    if (EqualsIgnoreCase(kind, "tcp") || EqualsIgnoreCase(kind, "telnet")) {
        HostPort address;
        if (!ParseHostPort(param, address)) {
            error = "The serial port kind " + kind + " needs a port as its parameter, such as " +
                    "4555 or 127.0.0.1:4555; " + Quoted(param) + " is none.";
            return {};
        }
        std::string value = "socket," + id + ",host=" + address.host +
                            ",port=" + std::to_string(address.port) + ",server=on,wait=off";
        if (EqualsIgnoreCase(kind, "telnet"))
            value += ",telnet=on";
        return value;
    }
    if (EqualsIgnoreCase(kind, "unix")) {
        const std::string path =
            param.empty() ? context.defaultSerialSocket : ResolvePath(context.baseDirectory, param);
        if (path.size() >= sizeof(sockaddr_un{}.sun_path)) {
            error = "The socket path " + Quoted(path) + " of the serial port is longer than " +
                    std::to_string(sizeof(sockaddr_un{}.sun_path) - 1) +
                    " bytes; give a shorter path as its parameter.";
            return {};
        }
        return "socket," + id + ",path=" + QemuOptionValue(path) + ",server=on,wait=off";
    }
    if (EqualsIgnoreCase(kind, "none"))
        return {};
    error = "The serial port kind " + Quoted(kind) +
            " is unknown; choose one of pty, window, file, log, tcp, telnet, unix or none.";
    return {};
}

DiskPlan PlanDisk(int32_t size, std::string_view unit, const std::string& file,
                  const std::string& defaultImage, const LaunchContext& context, const char* what,
                  bool powerOfTwo, std::string& error) {
    DiskPlan plan;
    if (size != 0) {
        const uint64_t bytes = SizeInBytes(size, unit, what, error);
        if (bytes == 0)
            return plan;
        plan.used = true;
        plan.path = file.empty() ? defaultImage : ResolvePath(context.baseDirectory, file);
        plan.createBytes = powerOfTwo ? NextPowerOfTwo(bytes) : bytes;
    } else if (!file.empty()) {
        plan.used = true;
        plan.path = ResolvePath(context.baseDirectory, file);
    }
    if (plan.used && (plan.path.empty() || plan.path.front() != '/')) {
        error = std::string("The ") + what + " image has no absolute place.";
        plan.used = false;
    }
    return plan;
}

} // namespace

std::optional<std::string> ExplicitDeviceTree(const EmulatorOptions& options,
                                              const std::string& baseDirectory) {
    const int32_t rows = std::clamp<int32_t>(options.peri.periCount, 0, MAX_PERI);
    for (int32_t i = 0; i < rows; ++i)
        if (Trim(ReadField(options.peri.peris[i].device)) == kDeviceTreeKind)
            return ResolvePath(baseDirectory, Trim(ReadField(options.peri.peris[i].param)));
    return std::nullopt;
}

std::string QemuOptionValue(std::string_view value) {
    std::string out;
    out.reserve(value.size() + 4);
    for (char c : value) {
        out.push_back(c);
        if (c == ',')
            out.push_back(',');
    }
    return out;
}

bool IsPlainQemuName(std::string_view name) {
    if (name.empty() || name.size() > 128 || !IsAlnum(name.front()))
        return false;
    return std::all_of(name.begin(), name.end(), [](char c) {
        return IsAlnum(c) || c == '.' || c == '_' || c == '-' || c == '+';
    });
}

bool IsDevicePropertyList(std::string_view properties) {
    if (properties.empty())
        return true;
    std::size_t pos = 0;
    while (true) {
        // One property: a key, "=", a value in which ",," stands for ",".
        std::size_t end = pos;
        while (end < properties.size()) {
            if (properties[end] == ',') {
                if (end + 1 < properties.size() && properties[end + 1] == ',') {
                    end += 2;
                    continue;
                }
                break;
            }
            ++end;
        }
        const std::string_view item = properties.substr(pos, end - pos);
        const std::size_t eq = item.find('=');
        const std::string_view key = item.substr(0, eq);
        if (eq == std::string_view::npos || key.empty() || key == "driver" ||
            !std::all_of(key.begin(), key.end(),
                         [](char c) { return IsAlnum(c) || c == '_' || c == '-' || c == '.'; }))
            return false;
        if (end == properties.size())
            return true;
        pos = end + 1;
        if (pos == properties.size())
            return false; // a trailing comma
    }
}

DiskPlans PlanDisks(const EmulatorOptions& options, const LaunchContext& context) {
    DiskPlans plans;
    plans.sd = PlanDisk(options.disk.sdSize, ReadField(options.disk.sdMemType),
                        ReadField(options.disk.sdFile), context.defaultSdImage, context, "SD card",
                        true, plans.error);
    if (plans.error.empty())
        plans.hd = PlanDisk(options.disk.hdSize, ReadField(options.disk.hdMemType),
                            ReadField(options.disk.hdFile), context.defaultHdImage, context,
                            "hard disk", false, plans.error);
    return plans;
}

QemuCommand BuildQemuArgv(const EmulatorOptions& options, const LaunchContext& context) {
    QemuCommand command;
    std::string& error = command.error;
    std::vector<std::string>& argv = command.argv;
    auto fail = [&command](std::string text) {
        command.argv.clear();
        command.error = std::move(text);
        return command;
    };

    argv.push_back(context.binary);
    argv.insert(argv.end(), {"-name", "guest=" + QemuOptionValue(ReadField(options.general.name))});

    const TargetName target = TargetOf(options);
    const std::string& board = target.board;
    const BoardInfo* info = FindBoard(target.arch, board);
    if (board.empty())
        return fail("No target board is set.");
    if (!IsPlainQemuName(board))
        return fail("The target board " + Quoted(board) + " is not a QEMU board name.");
    argv.insert(argv.end(), {"-machine", board});

    if (const std::string cpu = ReadField(options.general.cpu); !cpu.empty()) {
        if (!IsPlainQemuName(cpu))
            return fail("The CPU " + Quoted(cpu) + " is not a QEMU CPU name.");
        argv.insert(argv.end(), {"-cpu", cpu});
    }

    if (options.general.memSize != 0) {
        const std::string unit = ReadField(options.general.memType);
        if (!SizeInBytes(options.general.memSize, unit, "memory", error))
            return fail(error);
        const bool gigabytes = EqualsIgnoreCase(unit, "GB");
        const uint64_t megabytes = uint64_t(options.general.memSize) * (gigabytes ? 1024 : 1);
        if (info)
            if (std::string problem = MemoryProblem(*info, megabytes); !problem.empty())
                return fail(problem);
        argv.insert(argv.end(),
                    {"-m", std::to_string(options.general.memSize) + (gigabytes ? "G" : "M")});
    }

    const std::string kernel = ReadField(options.os.osImage);
    if (kernel.empty())
        return fail("No kernel image is set.");
    argv.insert(argv.end(), {"-kernel", ResolvePath(context.baseDirectory, kernel)});
    if (const std::string initrd = ReadField(options.os.initrdImage); !initrd.empty())
        argv.insert(argv.end(), {"-initrd", ResolvePath(context.baseDirectory, initrd)});
    if (const std::string cmdLine = KernelCommandLine(ReadField(options.os.cmdLine));
        !cmdLine.empty())
        argv.insert(argv.end(), {"-append", cmdLine});
    if (!context.deviceTree.empty())
        argv.insert(argv.end(), {"-dtb", context.deviceTree});

    const HostPeripherals host = ParseHostPeripherals(options);
    if (!host.error.empty())
        return fail(host.error);

    const DiskPlans disks = PlanDisks(options, context);
    if (!disks.error.empty())
        return fail(disks.error);
    if (disks.hd.used && !AddDisk(argv, info, false, board, disks.hd.path, context.hdFormat,
                                  host.discardWrites, error))
        return fail(error);
    if (disks.sd.used && !AddDisk(argv, info, true, board, disks.sd.path, context.sdFormat,
                                  host.discardWrites, error))
        return fail(error);

    // An empty adapter is a record of an older version: user-mode network.
    const std::string adapter = ReadField(options.general.tapAdapter);
    std::string network;
    if (adapter.empty() || adapter == kUserNetwork) {
        network = "user";
        for (const std::string& forward : host.hostForwards)
            network += "," + forward;
    } else if (!host.hostForwards.empty())
        return fail("The peripheral port-forward forwards into the user-mode network, but this "
                    "machine's network is " +
                    (adapter == kNoNetwork ? std::string("none") : "the TAP adapter " + adapter) +
                    "; choose " + std::string(kUserNetwork) +
                    " on the General page, or remove the row.");
    else if (adapter != kNoNetwork && !IsValidInterfaceName(adapter))
        return fail("The TAP network adapter " + Quoted(adapter) + " is not a valid adapter name.");
    else if (adapter != kNoNetwork)
        network = "tap,ifname=" + adapter + ",script=no,downscript=no";
    if (network.empty())
        argv.insert(argv.end(), {"-nic", "none"});
    else if (info && !info->nic.empty())
        argv.insert(argv.end(), {"-netdev", network + ",id=net0", "-device",
                                 std::string(info->nic) + ",netdev=net0"});
    else
        argv.insert(argv.end(), {"-nic", network});

    // The console window is QEMU's own GTK window; with the display on, the
    // guest's screen comes first and the console is a tab beside it.
    const bool consoleWindow = options.peri.serialEnable != 0 &&
                               EqualsIgnoreCase(Trim(ReadField(options.peri.serialType)), "window");
    if (consoleWindow)
        argv.insert(argv.end(),
                    {"-display", options.general.displayEnable == 1 ? "gtk,show-tabs=on" : "gtk",
                     "-parallel", "none"});
    else if (options.general.displayEnable != 1)
        argv.insert(argv.end(), {"-display", "none"});
    if (options.general.displayEnable != 1)
        argv.insert(argv.end(), {"-monitor", "none"});

    std::string serial;
    if (options.peri.serialEnable != 0) {
        serial = SerialBackend(options, context, error);
        if (!error.empty())
            return fail(error);
    }
    // The transcript: QEMU writes what the guest prints into a pipe it was
    // handed; the reader beside it keeps the file.
    if (!serial.empty() && context.consoleLogFd >= 0)
        serial += ",logfile=/dev/fd/" + std::to_string(context.consoleLogFd) + ",logappend=on";
    if (serial.empty())
        argv.insert(argv.end(), {"-serial", "none"});
    else
        argv.insert(argv.end(), {"-chardev", serial, "-serial", "chardev:serial0"});

    const int32_t rows = std::clamp<int32_t>(options.peri.periCount, 0, MAX_PERI);
    for (int32_t i = 0; i < rows; ++i) {
        const std::string device = Trim(ReadField(options.peri.peris[i].device));
        const std::string properties = Trim(ReadField(options.peri.peris[i].param));
        if (device.empty() || device == kDeviceTreeKind || IsHostPeripheralKind(device))
            continue; // -dtb and the emulator's own services, above
        if (!IsPlainQemuName(device))
            return fail("The peripheral " + Quoted(device) + " is not a QEMU device name.");
        if (!IsDevicePropertyList(properties))
            return fail("The parameter " + Quoted(properties) + " of the peripheral " + device +
                        " is not a list of key=value properties (write a comma inside a value "
                        "as ,,).");
        argv.insert(argv.end(),
                    {"-device", properties.empty() ? device : device + "," + properties});
    }

    if (!host.gdb.empty())
        argv.insert(argv.end(), {"-gdb", host.gdb});
    if (host.gdbWait)
        argv.push_back("-S");

    // A socket handed over already listening takes connections before QEMU
    // runs: nobody waits for it to appear.
    if (context.qmpSocketFd >= 0)
        argv.insert(argv.end(), {"-chardev",
                                 "socket,id=qmp,fd=" + std::to_string(context.qmpSocketFd) +
                                     ",server=on,wait=off",
                                 "-mon", "chardev=qmp,mode=control"});
    else if (!context.qmpSocket.empty())
        argv.insert(argv.end(),
                    {"-qmp", "unix:" + QemuOptionValue(context.qmpSocket) + ",server=on,wait=off"});
    argv.insert(argv.end(), {"-pidfile", context.pidFile});
    return command;
}

} // namespace bx
