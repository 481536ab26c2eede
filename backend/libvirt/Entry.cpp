// The engine's one entry point, looked up by name by the back end.
#include "LibvirtEngine.h"

#include <mutex>
#include <vector>

extern "C" __attribute__((visibility("default"))) bx::Engine*
TarnwickMakeLibvirtEngine(const char* uri, std::string* error) {
    // Engines live as long as the process (a call given up on may still run
    // on one); kept here, where they stay reachable.
    static auto* const engines = new std::vector<bx::Engine*>;
    static std::mutex mutex;
    try {
        auto* engine = new bx::lv::LibvirtEngine(uri ? uri : "");
        std::lock_guard lock(mutex);
        engines->push_back(engine);
        return engine;
    } catch (const std::exception& e) {
        if (error)
            *error = e.what();
        return nullptr;
    }
}
