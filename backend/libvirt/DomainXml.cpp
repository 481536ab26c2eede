#include "DomainXml.h"

#include "Boards.h"
#include "Choices.h"
#include "ConsoleCheck.h"
#include "HostPort.h"
#include "MachineFile.h"
#include "Text.h"
#include "Xml.h"

#include <algorithm>
#include <map>

namespace bx::lv {
namespace {

constexpr std::string_view kNetworkSuffix = " (libvirt network)";
constexpr std::string_view kBridgeSuffix = " (bridge)";

const std::vector<std::pair<std::string_view, std::string_view>>& ArchNames() {
    static const std::vector<std::pair<std::string_view, std::string_view>> names = {
        {"arm", "armv7l"}, {"i386", "i686"}, {"ppc64", "ppc64"}, {"or1k", "or32"}};
    return names;
}

// virt boards have no PCI bus a 32-bit kernel can reach: every virtio
// device goes on the MMIO transport there.
bool IsVirtBoard(std::string_view board) {
    return board == "virt" || StartsWith(board, "virt-");
}

struct DiskPlace {
    std::string bus; // libvirt's target bus
    bool mmio = false;
};

std::optional<DiskPlace> PlaceFor(std::string_view tableBus) {
    if (tableBus == "virtio-mmio")
        return DiskPlace{"virtio", true};
    if (tableBus == "virtio" || tableBus == "sd" || tableBus == "ide" || tableBus == "scsi")
        return DiskPlace{std::string(tableBus), false};
    return std::nullopt;
}

std::string DevicePrefix(std::string_view bus) {
    if (bus == "virtio")
        return "vd";
    if (bus == "ide")
        return "hd";
    return "sd";
}

std::string MmioAddress(bool mmio) {
    return mmio ? "<address type='virtio-mmio'/>" : "";
}

bool IsAbsolute(const std::string& path) {
    return !path.empty() && path.front() == '/';
}

std::optional<std::string> SerialXml(const Machine& m, const DomainIdentity& id,
                                     const DomainFiles& files, std::string* why) {
    if (!m.serialOn || m.serialKind == "none")
        return std::string();
    const std::string& kind = m.serialKind;
    const std::string& param = m.serialParam;
    if (kind == "pty" || kind.empty())
        return std::string("<serial type='pty'><target port='0'/></serial>");
    if (kind == "file") {
        const std::string path =
            param.empty() ? files.serialDirectory + "/" + id.name + ".serial.txt" : param;
        if (!IsAbsolute(path)) {
            *why = "The serial file " + path +
                   " must be an absolute path on the host that runs the machine";
            return std::nullopt;
        }
        return "<serial type='file'><source path='" + XmlEscape(path) +
               "'/><target port='0'/></serial>";
    }
    if (kind == "tcp" || kind == "telnet") {
        HostPort where;
        if (!ParseHostPort(param, where)) {
            *why = "The serial parameter " + param + " is not a port, host:port or [v6]:port";
            return std::nullopt;
        }
        return "<serial type='tcp'><source mode='bind' host='" + XmlEscape(where.host) +
               "' service='" + std::to_string(where.port) + "'/><protocol type='" +
               (kind == "tcp" ? "raw" : "telnet") + "'/><target port='0'/></serial>";
    }
    if (kind == "unix") {
        const std::string path =
            param.empty() ? files.serialDirectory + "/" + id.name + ".serial.sock" : param;
        if (!IsAbsolute(path) || path.size() > 107) {
            *why = "The serial socket " + path +
                   " must be an absolute path of at most 107 bytes on the host that runs "
                   "the machine";
            return std::nullopt;
        }
        return "<serial type='unix'><source mode='bind' path='" + XmlEscape(path) +
               "'/><target port='0'/></serial>";
    }
    *why = "The serial kind " + kind +
           " is not offered for machines on another host; choose one of " + [] {
               std::string list;
               for (const std::string& k : RemoteSerialKinds())
                   list += (list.empty() ? "" : ", ") + k;
               return list;
           }();
    return std::nullopt;
}

struct PeripheralForm {
    std::string_view xml; // %A: the virtio-mmio address where the board needs it
    bool usb = false;     // needs a USB controller
    bool controller = false;
};

const std::map<std::string, PeripheralForm, std::less<>>& PeripheralForms() {
    static const std::map<std::string, PeripheralForm, std::less<>> forms = {
        {"virtio-rng-device",
         {"<rng model='virtio'><backend model='random'>/dev/urandom</backend>%A</rng>"}},
        {"virtio-keyboard-device", {"<input type='keyboard' bus='virtio'>%A</input>"}},
        {"virtio-mouse-device", {"<input type='mouse' bus='virtio'>%A</input>"}},
        {"virtio-tablet-device", {"<input type='tablet' bus='virtio'>%A</input>"}},
        {"virtio-gpu-device", {"<video><model type='virtio'/>%A</video>"}},
        {"qemu-xhci", {"<controller type='usb' model='qemu-xhci'/>", false, true}},
        {"usb-ehci", {"<controller type='usb' model='ehci'/>", false, true}},
        {"usb-kbd", {"<input type='keyboard' bus='usb'/>", true}},
        {"usb-mouse", {"<input type='mouse' bus='usb'/>", true}},
        {"usb-tablet", {"<input type='tablet' bus='usb'/>", true}},
    };
    return forms;
}

std::string Replace(std::string_view text, std::string_view what, std::string_view with) {
    std::string out(text);
    if (const std::size_t at = out.find(what); at != std::string::npos)
        out.replace(at, what.size(), with);
    return out;
}

uint64_t MegabytesOf(const Machine& m) {
    const uint64_t unit = BytesPerUnit(m.memType.empty() ? "MB" : m.memType);
    return m.memSize <= 0 || unit == 0 ? 0 : uint64_t(m.memSize) * unit / (1024 * 1024);
}

} // namespace

std::optional<std::string> DomainXml(const Machine& m, const DomainIdentity& id,
                                     const DomainFiles& files, std::string* why) {
    const std::optional<TargetName> target = ParseTargetText(m.target);
    if (!target || target->board.empty() || !IsArchName(target->arch)) {
        *why = "The machine's board " + m.target + " is not a board of the form <board> (<arch>)";
        return std::nullopt;
    }
    const std::string& board = target->board;
    const BoardInfo* info = FindBoard(target->arch, board);
    const bool virt = IsVirtBoard(board);
    const uint64_t megabytes = MegabytesOf(m);
    if (megabytes == 0) {
        *why = "The memory size " + std::to_string(m.memSize) + " " + m.memType + " is not a size";
        return std::nullopt;
    }
    if (info) {
        if (std::string problem = MemoryProblem(*info, megabytes); !problem.empty()) {
            *why = problem;
            return std::nullopt;
        }
        const bool serialOn = m.serialOn && m.serialKind != "none";
        if (std::string problem = ConsoleProblem(board, info->console, m.commandLine, serialOn);
            !problem.empty()) {
            *why = problem;
            return std::nullopt;
        }
    }
    if (files.kernel.empty()) {
        *why = "The machine has no kernel";
        return std::nullopt;
    }

    std::string x = "<domain type='qemu'>\n";
    x += "  <name>" + XmlEscape(id.name) + "</name>\n";
    if (!id.uuid.empty())
        x += "  <uuid>" + XmlEscape(id.uuid) + "</uuid>\n";
    x += "  <metadata>" + MetadataElement(m) + "</metadata>\n";
    x += "  <memory unit='MiB'>" + std::to_string(megabytes) + "</memory>\n";
    x += "  <vcpu>1</vcpu>\n";
    x += "  <os>\n    <type arch='" + XmlEscape(LibvirtArch(target->arch)) + "' machine='" +
         XmlEscape(board) + "'>hvm</type>\n";
    x += "    <kernel>" + XmlEscape(files.kernel) + "</kernel>\n";
    if (!files.initrd.empty())
        x += "    <initrd>" + XmlEscape(files.initrd) + "</initrd>\n";
    // libvirt's XML holds no line breaks in the command line, and QEMU's
    // -append would not either.
    std::string cmdline = m.commandLine;
    std::replace_if(
        cmdline.begin(), cmdline.end(), [](char c) { return c == '\n' || c == '\r'; }, ' ');
    if (!cmdline.empty())
        x += "    <cmdline>" + XmlEscape(cmdline) + "</cmdline>\n";
    if (!files.dtb.empty())
        x += "    <dtb>" + XmlEscape(files.dtb) + "</dtb>\n";
    x += "  </os>\n";
    // A SoC's CPU is fixed: QEMU takes no other there.
    if (!m.cpu.empty() && !(info && !info->fixedCpu.empty()))
        x += "  <cpu mode='custom' match='exact'><model fallback='forbid'>" + XmlEscape(m.cpu) +
             "</model></cpu>\n";
    x += "  <devices>\n";

    std::map<std::string, int> devices;
    const auto addDisk = [&](const DomainFiles::Disk& disk, std::string_view tableBus,
                             const char* what) -> bool {
        const std::optional<DiskPlace> place = PlaceFor(tableBus);
        if (!place) {
            *why = std::string("The board ") + m.target + " has no interface for a " + what;
            return false;
        }
        const std::string prefix = DevicePrefix(place->bus);
        const std::string dev = prefix + char('a' + devices[prefix]++);
        x += "    <disk type='file' device='disk'><driver name='qemu' type='" +
             XmlEscape(disk.format) + "'/><source file='" + XmlEscape(disk.path) +
             "'/><target dev='" + dev + "' bus='" + place->bus + "'/>" + MmioAddress(place->mmio) +
             "</disk>\n";
        return true;
    };
    const std::string hdBus = info ? std::string(info->diskBus) : virt ? "virtio-mmio" : "virtio";
    const std::string sdBus = info ? std::string(info->cardBus) : virt ? "virtio-mmio" : "sd";
    if (files.hd && !addDisk(*files.hd, hdBus, "hard disk"))
        return std::nullopt;
    if (files.sd && !addDisk(*files.sd, sdBus, "SD card"))
        return std::nullopt;

    const std::string& net = m.network;
    const bool mmioNic = info ? info->nic == "virtio-net-device" : virt;
    const std::string nicModel =
        mmioNic ? "<model type='virtio'/>" + MmioAddress(true) : std::string();
    if (net.empty() || net == kUserNetwork) {
        x += "    <interface type='user'>" + nicModel + "</interface>\n";
    } else if (net == kNoNetwork) {
    } else if (net.size() > kNetworkSuffix.size() && net.ends_with(kNetworkSuffix)) {
        x += "    <interface type='network'><source network='" +
             XmlEscape(net.substr(0, net.size() - kNetworkSuffix.size())) + "'/>" + nicModel +
             "</interface>\n";
    } else if (net.size() > kBridgeSuffix.size() && net.ends_with(kBridgeSuffix)) {
        x += "    <interface type='bridge'><source bridge='" +
             XmlEscape(net.substr(0, net.size() - kBridgeSuffix.size())) + "'/>" + nicModel +
             "</interface>\n";
    } else {
        *why = "The adapter " + net +
               " is not a network of the host that runs the machine; choose the user-mode "
               "network, no network, or one of its libvirt networks or bridges";
        return std::nullopt;
    }

    const std::optional<std::string> serial = SerialXml(m, id, files, why);
    if (!serial)
        return std::nullopt;
    if (!serial->empty())
        x += "    " + *serial + "\n";

    bool usbController = false;
    bool usbDevice = false;
    const std::vector<Peripheral> peripherals = m.Peripherals();
    for (const Peripheral& p : peripherals) {
        if (p.device == kDeviceTreeKind)
            continue; // in <os>
        const auto form = PeripheralForms().find(p.device);
        if (form == PeripheralForms().end()) {
            *why = "The peripheral " + p.device +
                   " has no form in libvirt's domain XML, so a machine on another host cannot "
                   "have it; remove it on the Peripherals page";
            return std::nullopt;
        }
        if (!p.param.empty()) {
            *why = "The peripheral " + p.device +
                   " takes no parameter on another host; clear its parameter (" + p.param + ")";
            return std::nullopt;
        }
        usbController = usbController || form->second.controller;
        usbDevice = usbDevice || form->second.usb;
        x += "    " + Replace(form->second.xml, "%A", MmioAddress(virt)) + "\n";
    }
    // libvirt adds a USB controller and a balloon of its own otherwise, on a
    // PCI bus the board may not have.
    if (!usbController && !usbDevice)
        x += "    <controller type='usb' model='none'/>\n";
    if (std::none_of(peripherals.begin(), peripherals.end(),
                     [](const Peripheral& p) { return p.device == "virtio-balloon-device"; }))
        x += "    <memballoon model='none'/>\n";
    else
        x += "    <memballoon model='virtio'>" + MmioAddress(virt) + "</memballoon>\n";
    if (m.display)
        x += "    <graphics type='vnc' autoport='yes'><listen type='address' "
             "address='127.0.0.1'/></graphics>\n";
    x += "  </devices>\n</domain>\n";
    return x;
}

std::string BareDomainXml(const Machine& machine, const DomainIdentity& identity) {
    const std::optional<TargetName> target = ParseTargetText(machine.target);
    const std::string arch = LibvirtArch(target ? target->arch : machine.arch);
    return "<domain type='qemu'><name>" + XmlEscape(identity.name) + "</name>" +
           (identity.uuid.empty() ? "" : "<uuid>" + XmlEscape(identity.uuid) + "</uuid>") +
           "<metadata>" + MetadataElement(machine) + "</metadata><memory unit='MiB'>" +
           std::to_string(std::max<uint64_t>(MegabytesOf(machine), 16)) +
           "</memory><os><type arch='" + XmlEscape(arch) + "'" +
           (target ? " machine='" + XmlEscape(target->board) + "'" : "") +
           ">hvm</type></os></domain>";
}

namespace {

// The machine file's own text: every byte of every field survives it, and
// it holds no control byte but line breaks.
std::string MachineText(const Machine& machine) {
    return XmlEscape(SerializeMachine(RecordFromMachine(machine)));
}

} // namespace

std::string MetadataElement(const Machine& machine) {
    return std::string("<tarnwick:machine xmlns:tarnwick='") + kMetadataNamespace + "'>" +
           MachineText(machine) + "</tarnwick:machine>";
}

std::string MetadataContent(const Machine& machine) {
    return "<machine>" + MachineText(machine) + "</machine>";
}

std::optional<Machine> MachineFromMetadata(std::string_view element) {
    const std::optional<XmlDoc> doc = XmlDoc::Parse(element);
    if (!doc)
        return std::nullopt;
    const std::optional<EmulatorOptions> record = ParseMachine(doc->Value("/*"));
    if (!record)
        return std::nullopt;
    return MachineFromRecord(*record);
}

std::string LibvirtArch(std::string_view arch) {
    for (const auto& [ours, theirs] : ArchNames())
        if (arch == ours)
            return std::string(theirs);
    return std::string(arch);
}

std::string ArchFromLibvirt(std::string_view libvirtArch) {
    for (const auto& [ours, theirs] : ArchNames())
        if (libvirtArch == theirs)
            return std::string(ours);
    return std::string(libvirtArch);
}

const std::vector<std::string>& RemoteSerialKinds() {
    static const std::vector<std::string> kinds = {"pty", "file", "tcp", "telnet", "unix", "none"};
    return kinds;
}

const std::vector<std::string>& RemotePeripheralKinds() {
    static const std::vector<std::string> kinds = [] {
        std::vector<std::string> k = {std::string(kDeviceTreeKind)};
        for (const std::string& kind : PeripheralKinds())
            if (PeripheralForms().count(kind))
                k.push_back(kind);
        return k;
    }();
    return kinds;
}

std::string NetworkEntry(std::string_view network) {
    return std::string(network) + std::string(kNetworkSuffix);
}

std::string BridgeEntry(std::string_view bridge) {
    return std::string(bridge) + std::string(kBridgeSuffix);
}

} // namespace bx::lv
