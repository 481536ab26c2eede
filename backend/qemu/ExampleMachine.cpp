// tarnwick-example: stores a ready machine named "example" through our back
// end, for a newcomer who has no kernel or initrd at hand. scripts/
// first-machine.sh fetches Debian's armhf kernel and busybox and runs it.
//
//   tarnwick-example --kernel <vmlinuz> --busybox <busybox> --dir <dir>
//                    [--modules <dir of .ko>] [--serial <kind>[:<parameter>]]
//
// Writes <dir>/initrd.cpio: /init mounts /proc, /sys and /dev, brings up the
// user-mode network where the kernel's drivers are given, greets, and runs
// a shell on the console. The machine: virt (arm), its default CPU, 256 MB,
// user-mode network, the console in a window (or the kind given).
#include "Cpio.h"
#include "Files.h"
#include "Text.h"

#define BREVANTIX_IMPLEMENTATION
#include "app/backend/brevantix.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <dlfcn.h>
#include <map>
#include <memory>
#include <string>

using namespace bx;

namespace {

constexpr const char* kName = "example";

const char* const kInit = R"(#!/bin/busybox sh
/bin/busybox mkdir -p /proc /sys /dev /tmp /sbin /usr/bin /usr/sbin /etc
/bin/busybox --install -s
mount -t proc proc /proc
mount -t sysfs sysfs /sys
mount -t devtmpfs devtmpfs /dev
for m in failover net_failover virtio_mmio virtio_net; do
  [ -f /lib/$m.ko ] && insmod /lib/$m.ko
done
ip link set lo up
ip link set eth0 up 2>/dev/null && udhcpc -i eth0 -q -n -t 5 -s /bin/dhcp >/dev/null 2>&1
echo
echo "Hello from your first Tarnwick machine: Linux $(uname -r) on $(uname -m)."
echo "Busybox tools are at hand; 'poweroff -f' switches the machine off."
echo
setsid cttyhack sh -l
poweroff -f
)";

const char* const kDhcp = R"(#!/bin/busybox sh
case "$1" in bound|renew)
  ip addr add $ip/$mask dev $interface
  [ -n "$router" ] && ip route add default via $router
  [ -n "$dns" ] && echo "nameserver ${dns%% *}" > /etc/resolv.conf ;;
esac
)";

int Fail(const std::string& why) {
    std::fprintf(stderr, "tarnwick-example: %s\n", why.c_str());
    return 1;
}

template <typename F> F Export(void* lib, const char* name) {
    return reinterpret_cast<F>(::dlsym(lib, name));
}

} // namespace

int main(int argc, char** argv) {
    std::map<std::string, std::string> options;
    for (int i = 1; i + 1 < argc; i += 2)
        options[argv[i]] = argv[i + 1];
    const std::string kernel = options["--kernel"];
    const std::string busybox = options["--busybox"];
    const std::string dir = options["--dir"];
    if (argc % 2 == 0 || kernel.empty() || busybox.empty() || dir.empty())
        return Fail("usage: tarnwick-example --kernel <vmlinuz> --busybox <busybox> --dir <dir> "
                    "[--modules <dir>] [--serial <kind>[:<parameter>]]");

    CpioWriter cpio;
    for (const char* folder : {"bin", "dev", "lib"})
        cpio.Directory(folder);
    cpio.CharDevice("dev/console", 5, 1);
    const std::optional<std::string> shell = ReadWholeFile(busybox, 64u << 20);
    if (!shell)
        return Fail("cannot read " + busybox);
    cpio.File("bin/busybox", *shell);
    cpio.File("bin/dhcp", kDhcp);
    cpio.File("init", kInit);
    if (const std::string modules = options["--modules"]; !modules.empty()) {
        std::unique_ptr<DIR, int (*)(DIR*)> folder(::opendir(modules.c_str()), ::closedir);
        while (const dirent* entry = folder ? ::readdir(folder.get()) : nullptr) {
            const std::string file = entry->d_name;
            if (file.size() > 3 && file.substr(file.size() - 3) == ".ko")
                if (const std::optional<std::string> data = ReadWholeFile(modules + "/" + file))
                    cpio.File("lib/" + file, *data, 0100644);
        }
    }
    const std::string initrd = dir + "/initrd.cpio";
    std::string error;
    if (!MakeDirectories(dir) || !WriteFileAtomically(initrd, cpio.Finish(), &error))
        return Fail("cannot write " + initrd + " " + error);

    // Our back end, beside this program, as the manager loads it.
    char* exe = ::realpath("/proc/self/exe", nullptr);
    const std::string self = ParentDirectory(exe ? exe : "");
    std::free(exe);
    void* lib = ::dlopen((self + "/" BREVANTIX_LIBRARY_NAME).c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!lib)
        return Fail(std::string("cannot load the back end: ") + ::dlerror());
    EmulatorOptions record;
    std::memset(&record, 0, sizeof record);
    if (Export<PFN_GetEmulatorOptions>(lib, "GetEmulatorOptions")(kName, &record) != 0)
        return Fail("a machine named \"example\" is stored already; it stays as it is");
    Export<PFN_SetEmulatorOptDefault>(lib, "SetEmulatorOptDefault")("arm", &record);
    if (ReadField(record.general.target) != "virt (arm)")
        return Fail("the back end offers no virt (arm) board; install qemu-system-arm");
    WriteField(record.general.name, kName);
    WriteField(record.os.osImage, kernel);
    WriteField(record.os.initrdImage, initrd);
    const std::string serial = options.count("--serial") ? options["--serial"] : "window";
    WriteField(record.peri.serialType, serial.substr(0, serial.find(':')));
    WriteField(record.peri.serialParam,
               serial.find(':') == std::string::npos ? "" : serial.substr(serial.find(':') + 1));
    Export<PFN_SaveEmulatorOptions>(lib, "SaveEmulatorOptions")(&record);
    std::memset(&record, 0, sizeof record);
    if (Export<PFN_GetEmulatorOptions>(lib, "GetEmulatorOptions")(kName, &record) == 0)
        return Fail("the back end did not store the machine; see its log");
    std::printf("stored the machine \"example\": virt (arm), %s, %d MB, kernel %s\n",
                ReadField(record.general.cpu).c_str(), record.general.memSize, kernel.c_str());
    return 0;
}
