#include "Cloner.h"

#include "Control.h"
#include "Files.h"
#include "Images.h"
#include "Launcher.h"
#include "Log.h"
#include "NameCodec.h"
#include "QemuArgv.h"
#include "Text.h"
#include "base/Fd.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <linux/fs.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace bx {

namespace {

using base::Fd;

std::string Quoted(std::string_view text) {
    return "\"" + std::string(text) + "\"";
}

std::string ErrnoText() {
    return std::strerror(errno);
}

// Bytes [offset, end) of `in` into `out` at the same offsets.
bool CopyRange(int in, int out, off_t offset, off_t end) {
    std::vector<char> buffer;
    while (offset < end) {
        off_t from = offset;
        off_t to = offset;
        const ssize_t moved =
            ::copy_file_range(in, &from, out, &to, static_cast<size_t>(end - offset), 0);
        if (moved > 0) {
            offset += moved;
            continue;
        }
        if (moved == 0)
            return true; // the source ended early: the size was set beforehand
        if (errno != EXDEV && errno != ENOSYS && errno != EINVAL && errno != EOPNOTSUPP)
            return false;
        buffer.resize(1 << 20);
        const ssize_t got = ::pread(
            in, buffer.data(), static_cast<size_t>(std::min<off_t>(end - offset, 1 << 20)), offset);
        if (got <= 0)
            return got == 0;
        for (ssize_t done = 0; done < got;) {
            const ssize_t put = ::pwrite(out, buffer.data() + done, got - done, offset + done);
            if (put <= 0)
                return false;
            done += put;
        }
        offset += got;
    }
    return true;
}

// The data of `in` only: what SEEK_DATA and SEEK_HOLE name, the rest left
// a hole of `out` (sized beforehand).
bool CopyData(int in, int out, off_t size) {
    for (off_t offset = 0; offset < size;) {
        const off_t data = ::lseek(in, offset, SEEK_DATA);
        if (data < 0)
            return errno == ENXIO ? true : errno == EINVAL && CopyRange(in, out, offset, size);
        const off_t hole = ::lseek(in, data, SEEK_HOLE);
        const off_t end = hole < 0 ? size : hole;
        if (!CopyRange(in, out, data, end))
            return false;
        offset = end;
    }
    return true;
}

// "<directory of original>/<stem of name>.<role><extension of original>".
std::string BesideOriginal(const std::string& original, std::string_view name,
                           std::string_view role) {
    const std::string directory = ParentDirectory(original);
    const std::string file = original.substr(directory.size() + 1);
    const std::size_t dot = file.rfind('.');
    const std::string extension = dot == std::string::npos || dot == 0 ? ".img" : file.substr(dot);
    return directory + "/" + FileStemForName(name) + "." + std::string(role) + extension;
}

// The record as a new file, never replacing one.
bool WriteNewRecord(const std::string& path, const std::string& text, std::string& error) {
    std::string temporary = ParentDirectory(path) + "/.clone.XXXXXX";
    Fd file(::mkostemp(temporary.data(), O_CLOEXEC));
    if (!file.valid()) {
        error = "cannot create a file beside " + path + ": " + ErrnoText();
        return false;
    }
    bool written = ::fchmod(file.get(), 0600) == 0;
    for (std::size_t done = 0; written && done < text.size();) {
        const ssize_t put = ::write(file.get(), text.data() + done, text.size() - done);
        written = put > 0;
        done += written ? static_cast<std::size_t>(put) : 0;
    }
    written = written && ::fsync(file.get()) == 0;
    if (!written ||
        ::renameat2(AT_FDCWD, temporary.c_str(), AT_FDCWD, path.c_str(), RENAME_NOREPLACE) != 0) {
        error = (errno == EEXIST ? "a file " + path + " appeared meanwhile"
                                 : "cannot write " + path + ": " + ErrnoText());
        ::unlink(temporary.c_str());
        return false;
    }
    Fd directory(::open(ParentDirectory(path).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (directory.valid())
        ::fsync(directory.get());
    return true;
}

struct ImageCopy {
    std::string from;
    std::string to;
    std::string format;
};

} // namespace

bool CopyImageFile(const std::string& from, const std::string& to, std::string& error) {
    Fd in(::open(from.c_str(), O_RDONLY | O_CLOEXEC));
    struct stat st {};
    if (!in.valid() || ::fstat(in.get(), &st) != 0) {
        error = "cannot read the disk image " + from + ": " + ErrnoText();
        return false;
    }
    if (!S_ISREG(st.st_mode)) {
        error = "the disk image " + from + " is no plain file; a clone copies files only";
        return false;
    }
    Fd out(::open(to.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC,
                  st.st_mode & 0666));
    if (!out.valid()) {
        error = errno == EEXIST ? "a file " + to + " exists already; it is not replaced"
                                : "cannot create " + to + ": " + ErrnoText();
        return false;
    }
    const bool copied =
        ::ioctl(out.get(), FICLONE, in.get()) == 0 ||
        (::ftruncate(out.get(), st.st_size) == 0 && CopyData(in.get(), out.get(), st.st_size));
    if (copied && ::fsync(out.get()) == 0)
        return true;
    error = "cannot copy " + from + " to " + to + ": " + ErrnoText();
    ::unlink(to.c_str());
    return false;
}

MachineCloner::MachineCloner(const MachineStore& store, std::string baseDirectory)
    : m_store(store), m_baseDirectory(std::move(baseDirectory)) {}

CloneOutcome MachineCloner::Clone(std::string_view from, std::string_view to) const {
    CloneOutcome outcome;
    auto fail = [&](std::string why) {
        outcome.message =
            "The virtual machine " + Quoted(from) + " was not cloned as " + Quoted(to) + ": " + why;
        LogLine(outcome.message);
        return outcome;
    };
    EmulatorOptions probe{};
    if (to.empty() || to.size() >= sizeof probe.general.name)
        return fail("a name of 1 to " + std::to_string(sizeof probe.general.name - 1) +
                    " bytes is needed.");
    std::optional<StoredMachine> original = m_store.LoadStored(from);
    if (!original)
        return fail("there is no such machine.");
    // A name cut to fit a list slot finds its machine; its files go by its own.
    const std::string name = ReadField(original->options.general.name);
    const std::string record = m_store.PathFor(to, MachineStore::kSuffix);
    if (PathExists(record))
        return fail("a machine of that name exists already.");

    // A start of the original waits for this lock, and its images stay as
    // they are until the copies are made.
    Fd runLock(::open(m_store.PathFor(name, ".run").c_str(),
                      O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0600));
    if (!runLock.valid() || ::flock(runLock.get(), LOCK_EX) != 0)
        return fail("its run file cannot be locked: " + ErrnoText() + ".");
    if (EmulatorControl(m_store, m_baseDirectory).State(name) != BREVANTIX_STATE_STOPPED)
        return fail("it is running; stop it first, since its disks change while it runs.");
    // Files an older version left under the new name are no part of it.
    if (!m_store.ClearLeftovers(to))
        return fail("files left under that name cannot be moved into deleted/.");

    EmulatorOptions clone = original->options;
    WriteField(clone.general.name, to);
    const LaunchContext source = ContextFor(m_store, name, m_baseDirectory);
    const LaunchContext target = ContextFor(m_store, to, m_baseDirectory);
    const DiskPlans disks = PlanDisks(original->options, source);
    if (!disks.error.empty())
        return fail(disks.error);

    std::vector<ImageCopy> copies;
    struct Role {
        const DiskPlan& plan;
        const char* role;
        const std::string& sourceDefault;
        const std::string& targetDefault;
        char* field;
        std::size_t width;
    };
    for (const Role& role : {Role{disks.sd, "sd", source.defaultSdImage, target.defaultSdImage,
                                  clone.disk.sdFile, sizeof clone.disk.sdFile},
                             Role{disks.hd, "hd", source.defaultHdImage, target.defaultHdImage,
                                  clone.disk.hdFile, sizeof clone.disk.hdFile}}) {
        if (!role.plan.used)
            continue;
        const bool own = role.plan.path == role.sourceDefault;
        std::string copy = own ? role.targetDefault : BesideOriginal(role.plan.path, to, role.role);
        if (!own) {
            if (copy.size() >= role.width)
                return fail("the path of its copy " + copy + " is too long for the record.");
            WriteField(role.field, role.width, copy);
        }
        if (!PathExists(role.plan.path))
            continue; // made at the clone's first start, as for the original
        bool changed = false;
        const std::optional<std::string> format =
            DecideFormat(m_store, original->images, role.plan.path,
                         own ? Undecided::Raw : Undecided::Refuse, changed);
        if (!format)
            return fail("the disk image " + role.plan.path +
                        " has no recorded format; open the machine's settings and press OK "
                        "to record it.");
        copies.push_back({role.plan.path, std::move(copy), *format});
    }

    KnownImages images;
    std::vector<std::string> made;
    auto undo = [&made] {
        for (const std::string& path : made)
            ::unlink(path.c_str());
    };
    for (const ImageCopy& copy : copies) {
        std::string error;
        if (!CopyImageFile(copy.from, copy.to, error)) {
            undo();
            return fail(error + ".");
        }
        made.push_back(copy.to);
        RememberFormat(images, copy.to, copy.format);
    }
    if (std::string error; !WriteNewRecord(record, SerializeMachine(clone, images), error)) {
        undo();
        return fail(error + ".");
    }
    outcome.done = true;
    outcome.message = "The virtual machine " + Quoted(to) + " is a clone of " + Quoted(from) + ".";
    for (const ImageCopy& copy : copies)
        outcome.message += "\nDisk image: " + copy.to + " (a copy of " + copy.from + ")";
    return outcome;
}

} // namespace bx
