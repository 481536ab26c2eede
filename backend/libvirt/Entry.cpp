// The engine's one entry point, looked up by name by the back end.
#include "LibvirtEngine.h"

extern "C" __attribute__((visibility("default"))) bx::Engine*
TarnwickMakeLibvirtEngine(const char* uri, std::string* error) {
    try {
        return new bx::lv::LibvirtEngine(uri ? uri : "");
    } catch (const std::exception& e) {
        if (error)
            *error = e.what();
        return nullptr;
    }
}
