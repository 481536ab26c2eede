// Calls an export of the loaded back end by name.
#pragma once

#include <dlfcn.h>
#include <type_traits>

extern void* g_hEmulatorLib;

// True when the loaded back end has the export; for the optional ones, whose
// absence hides what they would offer.
inline bool ExportExists(const char* name) {
    return g_hEmulatorLib && dlsym(g_hEmulatorLib, name);
}

// Looks the export up afresh at every call, so a library that lacks one
// export loses only that call; a missing library or export gives the
// skipped outcome, which for every export is 0 or nothing.
template <typename Fn, typename... Args> auto CallExport(const char* name, Args... args) {
    using Result = std::invoke_result_t<Fn, Args...>;
    Fn fn = g_hEmulatorLib ? reinterpret_cast<Fn>(dlsym(g_hEmulatorLib, name)) : nullptr;
    if (fn) {
        return fn(args...);
    }
    if constexpr (!std::is_void_v<Result>) {
        return Result{};
    }
}
