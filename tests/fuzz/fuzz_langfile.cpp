// Any bytes as a language file: loading never fails hard, and the file the
// manager writes back on destruction loads as the same map of texts.
#include "LanguageManager.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <string>
#include <unistd.h>

namespace {

std::string TempPath() {
    static const std::string path = [] {
        const char* dir = std::getenv("TMPDIR");
        std::string base = dir && *dir ? dir : "/tmp";
        return base + "/fuzz_langfile." + std::to_string(getpid()) + ".lng";
    }();
    return path;
}

std::map<std::string, std::string> Load(const std::string& path) {
    CLanguageIniManger manager(path, "English");
    return manager.Texts(); // the destructor writes the same map back
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string path = TempPath();
    if (FILE* f = std::fopen(path.c_str(), "wb")) {
        if (size)
            std::fwrite(data, 1, size, f);
        std::fclose(f);
    } else {
        return 0;
    }
    std::map<std::string, std::string> first;
    {
        CLanguageIniManger manager(path, "English");
        first = manager.Texts();
        // A text the program itself records, as GetLangText does.
        manager.SetText("fuzz.added", "value = with  blanks ");
        first["fuzz.added"] = "value = with  blanks ";
    }
    const auto second = Load(path);
    if (second != first)
        std::abort();
    if (Load(path) != second)
        std::abort();
    unlink(path.c_str());
    return 0;
}
