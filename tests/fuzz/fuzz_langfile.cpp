// Any bytes as a language file: loading never fails hard, and the file the
// manager writes back on destruction loads as the same map of texts.
#include "lang/LanguageManager.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <string>
#include <strings.h>
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

const std::string kAdded = "fuzz.added";

bool SameKey(const std::string& a, const std::string& b) {
    return a.size() == b.size() && strncasecmp(a.c_str(), b.c_str(), a.size()) == 0;
}

// True when the file already holds the added key in another spelling; which
// spelling a replaced key keeps is not this target's question.
bool HoldsOtherSpelling(const std::map<std::string, std::string>& texts) {
    for (const auto& [key, value] : texts)
        if (key != kAdded && SameKey(key, kAdded))
            return true;
    return false;
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
        if (HoldsOtherSpelling(first))
            return 0;
        // A text the program itself records, as GetLangText does.
        manager.SetText(kAdded, "value = with  blanks ");
        first[kAdded] = "value = with  blanks ";
    }
    const auto second = Load(path);
    if (second != first)
        std::abort();
    if (Load(path) != second)
        std::abort();
    unlink(path.c_str());
    return 0;
}
