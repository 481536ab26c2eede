// A scriptable stand-in for the emulator back end. It answers the seventeen
// exports and the optional ones from scripted data and logs every call with its arguments; tests
// drive it through the TestBackend_* exports or a script file read at load.
// Variants leave exports out at link time (CMakeLists.txt).
#define BREVANTIX_IMPLEMENTATION
#include "app/backend/brevantix.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <map>
#include <string>
#include <string_view>
#include <type_traits>
#include <unistd.h>
#include <unordered_set>
#include <vector>

namespace {

constexpr const char* kNull = "<null>";
constexpr const char* kBuffer = "<buffer>";
constexpr const char* kAnyKey = "*";

struct ListSpec {
    std::map<std::string, std::vector<std::string>> itemsByKey;
    int64_t count = -1;   // < 0: the number of items
    int64_t written = -1; // < 0: the number of slots written
    bool noNul = false;

    const std::vector<std::string>* ItemsFor(const std::string& key) const {
        auto it = itemsByKey.find(key);
        if (it == itemsByKey.end()) {
            it = itemsByKey.find(kAnyKey);
        }
        return it == itemsByKey.end() ? nullptr : &it->second;
    }
};

struct RecordSpec {
    EmulatorOptions record;
    int32_t result = 1;
};

struct StartSpec {
    int32_t result = 0;
    std::string errText;
    int64_t claimedLength = -1;
};

struct Call {
    std::string function;
    std::vector<std::string> args;
};

struct State {
    std::map<std::string, ListSpec> lists;
    std::map<std::string, RecordSpec> records;
    // Names made by "machines": their records are made on first use, so a
    // script of thousands of machines costs little before the manager asks.
    std::unordered_set<std::string> generated;
    bool hasDefault = false;
    EmulatorOptions defaultRecord{};
    std::map<std::string, StartSpec> starts;
    // CloneEmulator by the new name (or *): its answer and its text.
    std::map<std::string, StartSpec> clones;
    std::map<std::string, std::string> arches;
    // BREVANTIX_STATE_* by name; absent: stopped.
    std::map<std::string, int32_t> states;
    std::map<std::string, std::string> infos;
    // GetEmulatorEventFd's pipe: read end handed out, write end for
    // TestBackend_SignalRunEvent. Kept across resets, like the log file.
    int events[2] = {-1, -1};
    std::vector<Call> log;
    bool logging = true;
    FILE* logFile = nullptr;

    // Everything but the file log, which lives as long as the library.
    void Reset() {
        FILE* file = logFile;
        const int eventRead = events[0], eventWrite = events[1];
        *this = State{};
        logFile = file;
        events[0] = eventRead;
        events[1] = eventWrite;
    }
};

State& S() {
    static State state;
    return state;
}

std::string Text(const char* text) {
    return text ? std::string(text) : std::string(kNull);
}
std::string Buffer(const void* buffer) {
    return buffer ? kBuffer : kNull;
}
std::string Number(uint64_t n) {
    return std::to_string(n);
}
std::string Record(const EmulatorOptions* record) {
    if (!S().logging && !S().logFile)
        return std::string(); // nobody reads it
    return record ? std::string(reinterpret_cast<const char*>(record), sizeof(EmulatorOptions))
                  : std::string(kNull);
}

uint32_t Clamp(int64_t value) {
    return static_cast<uint32_t>(std::clamp<int64_t>(value, 0, UINT32_MAX));
}

// One line of the file log: tabs and line breaks escaped, records shortened
// to their name.
std::string Escape(std::string_view text) {
    std::string out;
    for (char c : text) {
        switch (c) {
        case '\\':
            out += "\\\\";
            break;
        case '\t':
            out += "\\t";
            break;
        case '\n':
            out += "\\n";
            break;
        case '\r':
            out += "\\r";
            break;
        default:
            out += c;
        }
    }
    return out;
}

void WriteLogLine(const Call& call) {
    FILE* file = S().logFile;
    if (!file) {
        return;
    }
    std::string line = call.function;
    for (const std::string& arg : call.args) {
        line += '\t';
        if (arg.size() == sizeof(EmulatorOptions)) {
            const char* name = arg.data() + offsetof(EmulatorOptions, general.name);
            line += "<record:" + Escape(std::string(name, strnlen(name, 261))) + ">";
        } else {
            line += Escape(arg);
        }
    }
    line += '\n';
    fputs(line.c_str(), file);
    fflush(file);
}

void Log(const char* function, std::vector<std::string> args) {
    Call call{function, std::move(args)};
    WriteLogLine(call);
    if (S().logging) {
        S().log.push_back(std::move(call));
    }
}

// Bounded copy with a terminator, for arch fields and record texts.
void CopyText(char* field, size_t size, std::string_view text) {
    if (size == 0) {
        return;
    }
    const size_t n = std::min(text.size(), size - 1);
    memcpy(field, text.data(), n);
    field[n] = '\0';
}

void WriteSlot(char* slot, uint32_t slotSize, const std::string& item, bool noNul) {
    if (noNul) {
        // Filled to the last byte: the item, then '#'.
        const size_t n = std::min<size_t>(item.size(), slotSize);
        memcpy(slot, item.data(), n);
        memset(slot + n, '#', slotSize - n);
    } else {
        CopyText(slot, slotSize, item);
    }
}

uint32_t ServeList(const char* function, const std::string& key, char* buffer, uint32_t capacity,
                   uint32_t slotSize) {
    const auto it = S().lists.find(function);
    const ListSpec* spec = it == S().lists.end() ? nullptr : &it->second;
    const std::vector<std::string>* items = spec ? spec->ItemsFor(key) : nullptr;
    const size_t available = items ? items->size() : 0;
    if (!buffer) {
        return spec && spec->count >= 0 ? Clamp(spec->count) : Clamp(int64_t(available));
    }
    const size_t toWrite = std::min<size_t>(available, capacity);
    for (size_t i = 0; i < toWrite && slotSize > 0; ++i) {
        WriteSlot(buffer + i * slotSize, slotSize, (*items)[i], spec->noNul);
    }
    return spec && spec->written >= 0 ? Clamp(spec->written) : Clamp(int64_t(toWrite));
}

uint32_t KeyedList(const char* function, const char* key, char* buffer, uint32_t capacity,
                   uint32_t slotSize) {
    Log(function, {Text(key), Buffer(buffer), Number(capacity), Number(slotSize)});
    return ServeList(function, Text(key), buffer, capacity, slotSize);
}

uint32_t PlainList(const char* function, char* buffer, uint32_t capacity, uint32_t slotSize) {
    Log(function, {Buffer(buffer), Number(capacity), Number(slotSize)});
    return ServeList(function, kAnyKey, buffer, capacity, slotSize);
}

// ---- Script file ----

struct FieldInfo {
    std::string name;
    size_t offset;
    size_t size; // 0: a 32-bit integer
};

// A text field by its size, a 32-bit integer as size 0.
#define FIELD(block, member)                                                                       \
    FieldInfo {                                                                                    \
#member, offsetof(EmulatorOptions, block.member),                                          \
            std::is_array_v < decltype(EmulatorOptions::block.member)>                             \
            ? sizeof(EmulatorOptions::block.member) : 0                                            \
    }

const std::vector<FieldInfo>& Fields() {
    static const std::vector<FieldInfo> fields = [] {
        std::vector<FieldInfo> f = {
            FIELD(general, name),       FIELD(general, arch),          FIELD(general, target),
            FIELD(general, cpu),        FIELD(general, memSize),       FIELD(general, memType),
            FIELD(general, tapAdapter), FIELD(general, displayEnable), FIELD(disk, sdSize),
            FIELD(disk, sdMemType),     FIELD(disk, sdFile),           FIELD(disk, hdSize),
            FIELD(disk, hdMemType),     FIELD(disk, hdFile),           FIELD(peri, serialEnable),
            FIELD(peri, serialType),    FIELD(peri, serialParam),      FIELD(peri, periCount),
            FIELD(os, osImage),         FIELD(os, initrdImage),        FIELD(os, cmdLine),
        };
        for (size_t i = 0; i < MAX_PERI; ++i) {
            const size_t entry = offsetof(EmulatorOptions, peri.peris) + i * sizeof(PeriEntry);
            const std::string prefix = "peri" + std::to_string(i);
            f.push_back({prefix + ".device", entry + offsetof(PeriEntry, device), 260});
            f.push_back({prefix + ".param", entry + offsetof(PeriEntry, param), 260});
        }
        return f;
    }();
    return fields;
}

bool SetField(EmulatorOptions& record, const std::string& field, const std::string& value) {
    for (const FieldInfo& info : Fields()) {
        if (field != info.name) {
            continue;
        }
        char* at = reinterpret_cast<char*>(&record) + info.offset;
        if (info.size == 0) {
            const int32_t n = static_cast<int32_t>(strtol(value.c_str(), nullptr, 10));
            memcpy(at, &n, sizeof n);
        } else {
            CopyText(at, info.size, value);
        }
        return true;
    }
    return false;
}

// Splits off the next blank-separated word.
std::string Word(std::string_view& line) {
    const size_t start = line.find_first_not_of(" \t");
    if (start == std::string_view::npos) {
        line = {};
        return {};
    }
    line.remove_prefix(start);
    const size_t end = line.find_first_of(" \t");
    std::string word(line.substr(0, end));
    line.remove_prefix(end == std::string_view::npos ? line.size() : end);
    return word;
}

// The rest of the line after one separating blank.
std::string Rest(std::string_view line) {
    if (!line.empty() && (line.front() == ' ' || line.front() == '\t')) {
        line.remove_prefix(1);
    }
    return std::string(line);
}

std::vector<std::string> SplitItems(const std::string& text) {
    std::vector<std::string> items;
    if (text.empty()) {
        return items;
    }
    size_t start = 0;
    for (;;) {
        const size_t bar = text.find('|', start);
        items.push_back(text.substr(start, bar - start));
        if (bar == std::string::npos) {
            return items;
        }
        start = bar + 1;
    }
}

RecordSpec& RecordNamed(const std::string& name) {
    auto [it, added] = S().records.try_emplace(name);
    if (added) {
        it->second.record = EmulatorOptions{};
        CopyText(it->second.record.general.name, sizeof it->second.record.general.name, name);
        if (S().generated.count(name)) {
            EmulatorOptions& record = it->second.record;
            SetField(record, "arch", "arm");
            SetField(record, "target", "vexpress-a9");
            SetField(record, "cpu", "cortex-a9");
            SetField(record, "memSize", "256");
            SetField(record, "memType", "MB");
        }
    }
    return it->second;
}

void MakeMachines(long count, const std::string& prefix) {
    const int width = std::max(4, static_cast<int>(std::to_string(std::max(0L, count - 1)).size()));
    std::vector<std::string> names;
    names.reserve(static_cast<size_t>(count));
    for (long i = 0; i < count; ++i) {
        const std::string digits = std::to_string(i);
        std::string name = prefix;
        name.append(digits.size() < size_t(width) ? width - digits.size() : 0, '0');
        name += digits;
        S().records.erase(name);
        S().generated.insert(name);
        names.push_back(std::move(name));
    }
    S().lists["EnumAllEmulator"].itemsByKey[kAnyKey] = std::move(names);
}

bool RunScriptLine(std::string_view line, std::string& error) {
    const std::string command = Word(line);
    if (command.empty() || command[0] == '#') {
        return true;
    }
    if (command == "list") {
        const std::string function = Word(line);
        const std::string key = Word(line);
        if (function.empty() || key.empty()) {
            error = "list needs a function and a key";
            return false;
        }
        S().lists[function].itemsByKey[key] = SplitItems(Rest(line));
    } else if (command == "quirks") {
        const std::string function = Word(line);
        const std::string count = Word(line);
        const std::string written = Word(line);
        const std::string noNul = Word(line);
        if (function.empty() || noNul.empty()) {
            error = "quirks needs a function, count, written and nonul";
            return false;
        }
        ListSpec& spec = S().lists[function];
        spec.count = strtoll(count.c_str(), nullptr, 10);
        spec.written = strtoll(written.c_str(), nullptr, 10);
        spec.noNul = noNul != "0";
    } else if (command == "machines") {
        const std::string count = Word(line);
        std::string prefix = Word(line);
        char* end = nullptr;
        const long n = strtol(count.c_str(), &end, 10);
        if (count.empty() || *end != '\0' || n < 0 || n > 10000000) {
            error = "machines needs a count from 0 to 10000000";
            return false;
        }
        MakeMachines(n, prefix.empty() ? "vm" : prefix);
    } else if (command == "record" || command == "default") {
        const std::string name = command == "record" ? Word(line) : std::string();
        const std::string field = Word(line);
        const std::string value = Rest(line);
        if (field.empty() || (command == "record" && name.empty())) {
            error = command + " needs " + (command == "record" ? "a name and " : "") + "a field";
            return false;
        }
        if (command == "record" && field == "result") {
            RecordNamed(name).result = static_cast<int32_t>(strtol(value.c_str(), nullptr, 10));
            return true;
        }
        EmulatorOptions& record =
            command == "record" ? RecordNamed(name).record : S().defaultRecord;
        S().hasDefault = S().hasDefault || command == "default";
        if (!SetField(record, field, value)) {
            error = "unknown field " + field;
            return false;
        }
    } else if (command == "start") {
        const std::string name = Word(line);
        const std::string result = Word(line);
        const std::string claimed = Word(line);
        if (name.empty() || claimed.empty()) {
            error = "start needs a name, a result and a length (- for the true one)";
            return false;
        }
        StartSpec& spec = S().starts[name];
        spec.result = static_cast<int32_t>(strtol(result.c_str(), nullptr, 10));
        spec.claimedLength = claimed == "-" ? -1 : strtoll(claimed.c_str(), nullptr, 10);
        spec.errText = Rest(line);
    } else if (command == "clone") {
        const std::string to = Word(line);
        const std::string result = Word(line);
        if (result.empty()) {
            error = "clone needs a name and a result";
            return false;
        }
        StartSpec& spec = S().clones[to];
        spec.result = static_cast<int32_t>(strtol(result.c_str(), nullptr, 10));
        spec.errText = Rest(line);
    } else if (command == "arch") {
        const std::string target = Word(line);
        const std::string arch = Word(line);
        if (arch.empty()) {
            error = "arch needs a target and an arch";
            return false;
        }
        S().arches[target] = arch;
    } else if (command == "state") {
        const std::string name = Word(line);
        const std::string state = Word(line);
        if (state.empty()) {
            error = "state needs a name and a number";
            return false;
        }
        S().states[name] = static_cast<int32_t>(strtol(state.c_str(), nullptr, 10));
    } else if (command == "info") {
        const std::string name = Word(line);
        if (name.empty()) {
            error = "info needs a name";
            return false;
        }
        S().infos[name] = Rest(line);
    } else if (command == "memlog") {
        S().logging = Word(line) != "off";
    } else {
        error = "unknown command " + command;
        return false;
    }
    return true;
}

void RunScript(const char* path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        fprintf(stderr, "testbackend: cannot read script %s\n", path);
        return;
    }
    std::string line;
    for (int number = 1; std::getline(in, line); ++number) {
        if (!line.empty() && line.back() == '\r') {
            line.pop_back();
        }
        std::string error;
        if (!RunScriptLine(line, error)) {
            fprintf(stderr, "testbackend: %s:%d: %s\n", path, number, error.c_str());
        }
    }
}

__attribute__((constructor)) void OnLoad() {
    if (const char* logPath = getenv("BREVANTIX_TEST_LOG"); logPath && *logPath) {
        S().logFile = fopen(logPath, "ae");
        if (S().logFile) {
            fputs("load\n", S().logFile);
            fflush(S().logFile);
        }
    }
    if (const char* script = getenv("BREVANTIX_TEST_SCRIPT"); script && *script) {
        RunScript(script);
    }
}

__attribute__((destructor)) void OnUnload() {
    if (S().logFile) {
        fputs("unload\n", S().logFile);
        fclose(S().logFile);
        S().logFile = nullptr;
    }
}

} // namespace

// ---- The seventeen exports ----

uint32_t EnumAllEmulator(const char* extra, char* buffer, uint32_t capacity, uint32_t slotSize) {
    return KeyedList("EnumAllEmulator", extra, buffer, capacity, slotSize);
}

int32_t GetEmulatorOptions(const char* name, EmulatorOptions* options) {
    Log("GetEmulatorOptions", {Text(name), Record(options)});
    const std::string key = Text(name);
    const auto it = S().records.find(key);
    const RecordSpec* spec = it != S().records.end()    ? &it->second
                             : S().generated.count(key) ? &RecordNamed(key)
                                                        : nullptr;
    if (!spec) {
        return 0;
    }
    if (options) {
        *options = spec->record;
    }
    return spec->result;
}

void SetEmulatorOptDefault(const char* extra, EmulatorOptions* options) {
    Log("SetEmulatorOptDefault", {Text(extra), Record(options)});
    if (S().hasDefault && options) {
        *options = S().defaultRecord;
    }
}

void SaveEmulatorOptions(const EmulatorOptions* options) {
    Log("SaveEmulatorOptions", {Record(options)});
}

void DelEmulatorOptions(const char* name, const char* arch) {
    Log("DelEmulatorOptions", {Text(name), Text(arch)});
}

namespace {
const StartSpec* StartFor(const char* name) {
    auto it = S().starts.find(Text(name));
    if (it == S().starts.end()) {
        it = S().starts.find(kAnyKey);
    }
    return it == S().starts.end() ? nullptr : &it->second;
}

// The text protocol: at most `size` bytes written, a NUL after them when
// there is room; the answer is the text's length or the claimed one.
uint32_t ServeText(const std::string& text, int64_t claimedLength, char* buffer, uint32_t size) {
    if (buffer && size > 0) {
        const size_t n = std::min<size_t>(size, text.size());
        memcpy(buffer, text.data(), n);
        if (n < size) {
            buffer[n] = '\0';
        }
    }
    return claimedLength >= 0 ? Clamp(claimedLength) : Clamp(int64_t(text.size()));
}
} // namespace

int32_t StartEmulator(const char* name) {
    Log("StartEmulator", {Text(name)});
    const StartSpec* spec = StartFor(name);
    const int32_t result = spec ? spec->result : 0;
    if (result != 0) {
        S().states[Text(name)] = BREVANTIX_STATE_RUNNING;
    }
    return result;
}

uint32_t GetStartEmulatorErrInfo(const char* name, char* buffer, uint32_t size) {
    Log("GetStartEmulatorErrInfo", {Text(name), Buffer(buffer), Number(size)});
    const StartSpec* spec = StartFor(name);
    return ServeText(spec ? spec->errText : std::string(), spec ? spec->claimedLength : -1, buffer,
                     size);
}

void GetArch(const char* target, char* arch, uint32_t size) {
    Log("GetArch", {Text(target), Buffer(arch), Number(size)});
    const auto it = S().arches.find(Text(target));
    if (it != S().arches.end() && arch) {
        CopyText(arch, size, it->second);
    }
}

uint32_t GetEmulatorTarget(const char* extra, char* buffer, uint32_t capacity, uint32_t slotSize) {
    return KeyedList("GetEmulatorTarget", extra, buffer, capacity, slotSize);
}

uint32_t GetEmulatorCPU(const char* target, char* buffer, uint32_t capacity, uint32_t slotSize) {
    return KeyedList("GetEmulatorCPU", target, buffer, capacity, slotSize);
}

uint32_t GetMemType(char* buffer, uint32_t capacity, uint32_t slotSize) {
    return PlainList("GetMemType", buffer, capacity, slotSize);
}

uint32_t RefreshTapNetWork(char* buffer, uint32_t capacity, uint32_t slotSize) {
    return PlainList("RefreshTapNetWork", buffer, capacity, slotSize);
}

void InstallTapNetWork(const char* version) {
    Log("InstallTapNetWork", {Text(version)});
}

void ReNameTapNetWork(const char* oldName, const char* newName) {
    Log("ReNameTapNetWork", {Text(oldName), Text(newName)});
}

uint32_t GetTapDrvVer(char* buffer, uint32_t capacity, uint32_t slotSize) {
    return PlainList("GetTapDrvVer", buffer, capacity, slotSize);
}

uint32_t GetSerialType(char* buffer, uint32_t capacity, uint32_t slotSize) {
    return PlainList("GetSerialType", buffer, capacity, slotSize);
}

uint32_t GetPeriType(char* buffer, uint32_t capacity, uint32_t slotSize) {
    return PlainList("GetPeriType", buffer, capacity, slotSize);
}

// ---- The optional exports ----

int32_t GetEmulatorState(const char* name) {
    Log("GetEmulatorState", {Text(name)});
    const auto it = S().states.find(Text(name));
    return it == S().states.end() ? BREVANTIX_STATE_STOPPED : it->second;
}

int32_t StopEmulator(const char* name, int32_t force) {
    Log("StopEmulator", {Text(name), std::to_string(force)});
    const auto it = S().states.find(Text(name));
    if (it == S().states.end() || it->second == BREVANTIX_STATE_STOPPED) {
        return 0;
    }
    it->second = BREVANTIX_STATE_STOPPED;
    return 1;
}

uint32_t GetEmulatorInfo(const char* name, char* buffer, uint32_t size) {
    Log("GetEmulatorInfo", {Text(name), Buffer(buffer), Number(size)});
    const auto it = S().infos.find(Text(name));
    return ServeText(it == S().infos.end() ? std::string() : it->second, -1, buffer, size);
}

int32_t GetEmulatorEventFd(void) {
    Log("GetEmulatorEventFd", {});
    if (S().events[0] < 0 && ::pipe2(S().events, O_CLOEXEC | O_NONBLOCK) != 0)
        return -1;
    return S().events[0];
}

// The text goes where GetStartEmulatorErrInfo(to) finds it, as with ours.
int32_t CloneEmulator(const char* from, const char* to) {
    Log("CloneEmulator", {Text(from), Text(to)});
    auto it = S().clones.find(Text(to));
    if (it == S().clones.end())
        it = S().clones.find(kAnyKey);
    if (it == S().clones.end())
        return 0;
    StartSpec& text = S().starts[Text(to)];
    text.errText = it->second.errText;
    text.claimedLength = -1;
    return it->second.result;
}

// ---- Control, for tests/support/TestBackendControl.cpp ----

extern "C" {

BREVANTIX_EXPORT void TestBackend_SignalRunEvent() {
    if (S().events[1] >= 0) [[maybe_unused]]
        const ssize_t n = ::write(S().events[1], "!", 1);
}

BREVANTIX_EXPORT void TestBackend_Reset() {
    S().Reset();
}

BREVANTIX_EXPORT void TestBackend_SetList(const char* function, const char* key,
                                          const char* const* items, const uint32_t* lengths,
                                          uint32_t count) {
    std::vector<std::string> list;
    list.reserve(count);
    for (uint32_t i = 0; i < count; ++i) {
        list.emplace_back(items[i], lengths[i]);
    }
    S().lists[Text(function)].itemsByKey[Text(key)] = std::move(list);
}

BREVANTIX_EXPORT void TestBackend_SetListQuirks(const char* function, int64_t count,
                                                int64_t written, int32_t noNul) {
    ListSpec& spec = S().lists[Text(function)];
    spec.count = count;
    spec.written = written;
    spec.noNul = noNul != 0;
}

BREVANTIX_EXPORT void TestBackend_SetRecord(const char* name, const EmulatorOptions* record,
                                            int32_t result) {
    RecordSpec& spec = S().records[Text(name)];
    spec.record = record ? *record : EmulatorOptions{};
    spec.result = result;
}

BREVANTIX_EXPORT void TestBackend_SetDefaultRecord(const EmulatorOptions* record) {
    S().hasDefault = record != nullptr;
    S().defaultRecord = record ? *record : EmulatorOptions{};
}

BREVANTIX_EXPORT void TestBackend_SetStart(const char* name, int32_t result, const char* errText,
                                           uint32_t errLength, int64_t claimedLength) {
    StartSpec& spec = S().starts[Text(name)];
    spec.result = result;
    spec.errText = errText ? std::string(errText, errLength) : std::string();
    spec.claimedLength = claimedLength;
}

BREVANTIX_EXPORT void TestBackend_SetClone(const char* to, int32_t result, const char* text) {
    StartSpec& spec = S().clones[Text(to)];
    spec.result = result;
    spec.errText = Text(text);
}

BREVANTIX_EXPORT void TestBackend_SetArch(const char* target, const char* arch) {
    S().arches[Text(target)] = Text(arch);
}

BREVANTIX_EXPORT void TestBackend_SetState(const char* name, int32_t state) {
    S().states[Text(name)] = state;
}

BREVANTIX_EXPORT void TestBackend_SetInfo(const char* name, const char* text, uint32_t length) {
    S().infos[Text(name)] = text ? std::string(text, length) : std::string();
}

BREVANTIX_EXPORT void TestBackend_SetLogging(int32_t enabled) {
    S().logging = enabled != 0;
}

BREVANTIX_EXPORT uint32_t TestBackend_CallCount() {
    return static_cast<uint32_t>(S().log.size());
}

BREVANTIX_EXPORT const char* TestBackend_CallFunction(uint32_t call) {
    return call < S().log.size() ? S().log[call].function.c_str() : nullptr;
}

BREVANTIX_EXPORT uint32_t TestBackend_CallArgCount(uint32_t call) {
    return call < S().log.size() ? static_cast<uint32_t>(S().log[call].args.size()) : 0;
}

BREVANTIX_EXPORT const char* TestBackend_CallArg(uint32_t call, uint32_t arg, uint32_t* length) {
    if (call >= S().log.size() || arg >= S().log[call].args.size()) {
        *length = 0;
        return nullptr;
    }
    const std::string& text = S().log[call].args[arg];
    *length = static_cast<uint32_t>(text.size());
    return text.data();
}

BREVANTIX_EXPORT void TestBackend_ClearLog() {
    S().log.clear();
}

} // extern "C"
