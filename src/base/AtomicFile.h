// Replacing a file so that readers see the old or the new one, never a part.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <sys/types.h>

namespace base {

// TEST SEAM, never set by the product: makes ReplaceFileAtomically fail at a
// chosen step, as a full disk or a failing device would.
struct ReplaceFault {
    enum class Step { None, Write, Sync, Rename };
    Step step = Step::None;
    std::size_t atByte = 0; // Step::Write: bytes that reach the temporary file first
};

struct ReplaceOptions {
    // Permission bits of a new file, before the umask; a replaced file keeps
    // its own.
    mode_t newFileMode = 0666;
    // A symbolic link at `path`: false replaces the link itself, for files
    // whose readers refuse links.
    bool followLink = true;
    // Receives why a replacement failed, naming the file.
    std::string* error = nullptr;
    const ReplaceFault* fault = nullptr;
};

// The file a replacement of `path` writes: a symbolic link's target, else
// `path` itself.
std::string ReplacedFile(const std::string& path);

// Replaces the file at `path` with `bytes`: a hidden temporary file beside it,
// ".<name>.<hex>.tmp", is written whole, synced and renamed over it, and then
// the directory is synced so that the rename outlasts a power cut. A symbolic
// link stays and its target is replaced (unless followLink is false); the old
// file's owner and permission bits are kept. On failure the old file stays whole and no temporary
// file remains. A read-only file (no write rights, or no write bit at all) is never replaced.
bool ReplaceFileAtomically(const std::string& path, std::string_view bytes,
                           const ReplaceOptions& options = {});

} // namespace base
