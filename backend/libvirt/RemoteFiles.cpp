#include "RemoteFiles.h"

#include "Boards.h"
#include "Choices.h"
#include "Files.h"
#include "Sha256.h"
#include "Text.h"
#include "Xml.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <bit>
#include <memory>

namespace bx::lv {
namespace {

using Pool = std::unique_ptr<virStoragePool, decltype(&virStoragePoolFree)>;
using Volume = std::unique_ptr<virStorageVol, decltype(&virStorageVolFree)>;
using Stream = std::unique_ptr<virStream, decltype(&virStreamFree)>;

// Kernels and initrds are read whole to hash them; nothing bigger is sent.
constexpr std::size_t kMaxUpload = std::size_t(512) << 20;

std::optional<std::string> ReadLocal(const std::string& path, std::string* error) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        *error = "The file " + path + " cannot be read on this desktop";
        return std::nullopt;
    }
    base::Fd guard(fd);
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || std::size_t(st.st_size) > kMaxUpload) {
        *error = "The file " + path + " is not a regular file of at most 512 MiB";
        return std::nullopt;
    }
    std::string data(std::size_t(st.st_size), '\0');
    std::size_t done = 0;
    while (done < data.size()) {
        const ssize_t n = ::read(fd, data.data() + done, data.size() - done);
        if (n <= 0) {
            *error = "The file " + path + " could not be read whole";
            return std::nullopt;
        }
        done += std::size_t(n);
    }
    return data;
}

std::string VolumePath(virStorageVolPtr volume) {
    char* path = virStorageVolGetPath(volume);
    std::string result = path ? path : "";
    free(path);
    return result;
}

std::string VolumeXml(const std::string& name, unsigned long long capacity) {
    return "<volume><name>" + XmlEscape(name) + "</name><capacity unit='bytes'>" +
           std::to_string(capacity) +
           "</capacity><allocation unit='bytes'>0</allocation><target><format "
           "type='raw'/></target></volume>";
}

// A volume named by the file's content: an unchanged kernel is sent once.
std::optional<std::string> Upload(virStoragePoolPtr pool, virConnectPtr conn,
                                  const std::string& path, const char* kind, std::string* error) {
    const std::optional<std::string> data = ReadLocal(path, error);
    if (!data)
        return std::nullopt;
    const std::string name = "tarnwick-" + Sha256Hex(*data).substr(0, 32) + "." + kind;
    if (Volume existing{virStorageVolLookupByName(pool, name.c_str()), virStorageVolFree})
        return VolumePath(existing.get());
    Volume volume{virStorageVolCreateXML(pool, VolumeXml(name, data->size()).c_str(), 0),
                  virStorageVolFree};
    if (!volume) {
        *error = "The " + std::string(kind) + " " + path +
                 " could not be placed in the storage pool: " + LastError();
        return std::nullopt;
    }
    Stream stream{virStreamNew(conn, 0), virStreamFree};
    bool sent = stream && virStorageVolUpload(volume.get(), stream.get(), 0, data->size(), 0) == 0;
    for (std::size_t done = 0; sent && done < data->size();) {
        const int n = virStreamSend(stream.get(), data->data() + done,
                                    std::min<std::size_t>(data->size() - done, 256 * 1024));
        sent = n > 0;
        done += sent ? std::size_t(n) : 0;
    }
    if (sent)
        sent = virStreamFinish(stream.get()) == 0;
    if (!sent) {
        *error = "The " + std::string(kind) + " " + path + " could not be sent: " + LastError();
        if (stream)
            virStreamAbort(stream.get());
        // A volume named by content must never hold less than that content.
        virStorageVolDelete(volume.get(), 0);
        return std::nullopt;
    }
    return VolumePath(volume.get());
}

// A file for <os>: uploaded when this desktop has it, else what the domain
// already has (a machine someone else made).
bool PlaceBootFile(virStoragePoolPtr pool, virConnectPtr conn, const std::string& local,
                   const std::string& previous, const char* kind, std::string* placed,
                   std::string* error) {
    if (local.empty())
        return true;
    if (!PathExists(local) && !previous.empty()) {
        *placed = previous;
        return true;
    }
    const std::optional<std::string> path = Upload(pool, conn, local, kind, error);
    if (!path)
        return false;
    *placed = *path;
    return true;
}

uint64_t Bytes(int32_t size, const std::string& unit) {
    return size <= 0 ? 0 : uint64_t(size) * BytesPerUnit(unit.empty() ? "MB" : unit);
}

// The format is the name's, never the bytes': a guest writes its disks.
std::string FormatByName(const std::string& path) {
    return path.size() > 6 && path.ends_with(".qcow2") ? "qcow2" : "raw";
}

std::optional<DomainFiles::Disk> PlaceDisk(virStoragePoolPtr pool, virConnectPtr conn,
                                           const std::string& file, uint64_t bytes,
                                           const std::string& defaultName, const char* what,
                                           std::string* error) {
    if (file.empty() && bytes == 0)
        return std::nullopt;
    if (!file.empty() && file.front() == '/') {
        if (Volume volume{virStorageVolLookupByPath(conn, file.c_str()), virStorageVolFree})
            return DomainFiles::Disk{VolumePath(volume.get()), FormatByName(file)};
        if (bytes == 0) {
            *error = "The " + std::string(what) + " image " + file +
                     " is not a volume of a storage pool on the host that runs the machine";
            return std::nullopt;
        }
    }
    const std::string name = file.empty() ? defaultName : file.substr(file.find_last_of('/') + 1);
    if (name.empty() || name.find('/') != std::string::npos) {
        *error = "The " + std::string(what) + " image name " + file + " is not a volume's name";
        return std::nullopt;
    }
    if (Volume volume{virStorageVolLookupByName(pool, name.c_str()), virStorageVolFree})
        return DomainFiles::Disk{VolumePath(volume.get()), FormatByName(name)};
    if (bytes == 0) {
        *error = "The " + std::string(what) + " image " + name +
                 " is not a volume of the storage pool on the host that runs the machine";
        return std::nullopt;
    }
    Volume volume{virStorageVolCreateXML(pool, VolumeXml(name, bytes).c_str(), 0),
                  virStorageVolFree};
    if (!volume) {
        *error = "The " + std::string(what) + " image " + name +
                 " could not be made in the storage pool: " + LastError();
        return std::nullopt;
    }
    return DomainFiles::Disk{VolumePath(volume.get()), "raw"};
}

// QEMU takes SD cards of a power of two only.
uint64_t CardBytes(uint64_t bytes) {
    return bytes == 0 ? 0 : std::bit_ceil(bytes);
}

} // namespace

namespace {

Pool FindPool(virConnectPtr conn) {
    for (const char* name : kPoolNames)
        if (Pool pool{virStoragePoolLookupByName(conn, name), virStoragePoolFree})
            return pool;
    return Pool{nullptr, virStoragePoolFree};
}

// The image's copy; `file` is empty (the default image) or names a volume.
bool CloneDisk(virConnectPtr conn, virStoragePoolPtr pool, std::string* file,
               const std::string& from, const std::string& to, const char* suffix,
               std::string* error) {
    Volume source{nullptr, virStorageVolFree};
    std::string copy;
    if (file->empty()) {
        source =
            Volume{virStorageVolLookupByName(pool, (from + suffix).c_str()), virStorageVolFree};
        copy = to + suffix;
    } else {
        source = Volume{file->front() == '/' ? virStorageVolLookupByPath(conn, file->c_str())
                                             : virStorageVolLookupByName(pool, file->c_str()),
                        virStorageVolFree};
        copy = to + "-" + file->substr(file->find_last_of('/') + 1);
        *file = copy;
    }
    if (!source)
        return true;
    virStorageVolInfo info{};
    if (virStorageVolGetInfo(source.get(), &info) != 0) {
        *error = LastError();
        return false;
    }
    Volume made{
        virStorageVolCreateXMLFrom(pool, VolumeXml(copy, info.capacity).c_str(), source.get(), 0),
        virStorageVolFree};
    if (!made) {
        *error = "The image " + copy + " could not be copied: " + LastError();
        return false;
    }
    if (*file == copy)
        *file = VolumePath(made.get());
    return true;
}

} // namespace

Outcome<Machine> CloneDisks(virConnectPtr conn, Machine machine, const std::string& from,
                            const std::string& to) {
    Pool pool = FindPool(conn);
    if (!pool)
        return {std::nullopt, "The host has no storage pool named tarnwick or default"};
    std::string error;
    const bool sd = machine.sdSize > 0 || !machine.sdFile.empty();
    const bool hd = machine.hdSize > 0 || !machine.hdFile.empty();
    if ((sd && !CloneDisk(conn, pool.get(), &machine.sdFile, from, to, ".sd.img", &error)) ||
        (hd && !CloneDisk(conn, pool.get(), &machine.hdFile, from, to, ".hd.img", &error)))
        return {std::nullopt, error};
    return {std::move(machine), {}};
}

Outcome<DomainFiles> PlaceFiles(virConnectPtr conn, const Machine& m, const std::string& domain,
                                const std::string& previousXml) {
    Pool pool = FindPool(conn);
    if (!pool || virStoragePoolIsActive(pool.get()) != 1)
        return {std::nullopt,
                "The host that runs the machine has no active storage pool named tarnwick or "
                "default; make one (virsh pool-define-as tarnwick dir --target <directory>, "
                "pool-build, pool-start, pool-autostart)"};
    virStoragePoolRefresh(pool.get(), 0);
    DomainFiles files;
    if (char* xml = virStoragePoolGetXMLDesc(pool.get(), 0)) {
        if (const auto doc = XmlDoc::Parse(xml))
            files.serialDirectory = doc->Value("/pool/target/path");
        free(xml);
    }
    std::string previousKernel, previousInitrd, previousDtb;
    if (const auto doc = XmlDoc::Parse(previousXml)) {
        previousKernel = doc->Value("/domain/os/kernel");
        previousInitrd = doc->Value("/domain/os/initrd");
        previousDtb = doc->Value("/domain/os/dtb");
    }
    std::string error;
    if (!PlaceBootFile(pool.get(), conn, m.kernel, previousKernel, "kernel", &files.kernel,
                       &error) ||
        !PlaceBootFile(pool.get(), conn, m.initrd, previousInitrd, "initrd", &files.initrd, &error))
        return {std::nullopt, error};

    // The device tree: the one the machine names, else the one its board
    // needs, found beside the kernel on this desktop.
    std::string dtb;
    for (const Peripheral& p : m.Peripherals())
        if (p.device == kDeviceTreeKind)
            dtb = p.param;
    const std::optional<TargetName> target = ParseTargetText(m.target);
    const BoardInfo* board = target ? FindBoard(target->arch, target->board) : nullptr;
    if (dtb.empty() && board && !board->deviceTrees.empty() && PathExists(m.kernel)) {
        dtb = FindDeviceTree(*board, DeviceTreePlaces(m.kernel));
        if (dtb.empty() && previousDtb.empty())
            return {std::nullopt, "No device tree for the board " + m.target +
                                      " was found beside the kernel " + m.kernel};
    }
    if (!dtb.empty() && PathExists(dtb))
        if (std::string problem = DeviceTreeProblem(dtb); !problem.empty())
            return {std::nullopt, problem};
    if (!PlaceBootFile(pool.get(), conn, dtb, previousDtb, "dtb", &files.dtb, &error))
        return {std::nullopt, error};
    if (dtb.empty() && board && !board->deviceTrees.empty())
        files.dtb = previousDtb;

    const auto sd = PlaceDisk(pool.get(), conn, m.sdFile, CardBytes(Bytes(m.sdSize, m.sdUnit)),
                              domain + ".sd.img", "SD card", &error);
    if (!error.empty())
        return {std::nullopt, error};
    const auto hd = PlaceDisk(pool.get(), conn, m.hdFile, Bytes(m.hdSize, m.hdUnit),
                              domain + ".hd.img", "hard disk", &error);
    if (!error.empty())
        return {std::nullopt, error};
    files.sd = sd;
    files.hd = hd;
    return {std::move(files), {}};
}

} // namespace bx::lv
