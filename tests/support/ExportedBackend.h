// Our back end as the manager drives it: loaded with dlopen, machines stored
// with SaveEmulatorOptions and started with StartEmulator, the guest's serial
// console in a file. For the tests of the built library and the boot tests
// that need no window.
#pragma once

#include "Files.h"
#include "Launcher.h"
#include "RunningEmulators.h"
#include "TestRecords.h"
#include "Text.h"

#include "app/backend/brevantix.h"

#include <QByteArray>
#include <QElapsedTimer>
#include <QFile>
#include <QString>
#include <QTest>
#include <csignal>
#include <cstring>
#include <dlfcn.h>
#include <functional>
#include <string>
#include <vector>

class ExportedBackend {
public:
    // The store (unless given), caches and log go below `scratch`, away
    // from the user's own.
    bool Load(const QString& scratch, const QString& store = {}) {
        m_store = (store.isEmpty() ? scratch + "/store" : store).toStdString();
        qputenv("TARNWICK_STORE", m_store.c_str());
        qputenv("XDG_CACHE_HOME", (scratch + "/cache").toLocal8Bit());
        qputenv("XDG_STATE_HOME", (scratch + "/state").toLocal8Bit());
        m_lib = ::dlopen(BREVANTIX_LIBRARY_PATH, RTLD_NOW | RTLD_LOCAL);
        return m_lib != nullptr;
    }
    ~ExportedBackend() {
        if (m_lib)
            ::dlclose(m_lib);
    }

    template <typename F> F Fn(const char* name) const {
        return reinterpret_cast<F>(::dlsym(m_lib, name));
    }

    // A list through the list protocol: the count, then every item; the
    // slots are prefilled so that a missing terminator shows.
    static std::vector<std::string>
    List(const std::function<uint32_t(char*, uint32_t, uint32_t)>& call) {
        const uint32_t count = call(nullptr, 0, BREVANTIX_SLOT_SIZE);
        std::vector<char> buffer(std::size_t(count) * BREVANTIX_SLOT_SIZE + 1, '\x7f');
        const uint32_t written = call(buffer.data(), count, BREVANTIX_SLOT_SIZE);
        std::vector<std::string> items;
        for (uint32_t i = 0; i < std::min(written, count); ++i) {
            const char* slot = buffer.data() + std::size_t(i) * BREVANTIX_SLOT_SIZE;
            items.emplace_back(slot, strnlen(slot, BREVANTIX_SLOT_SIZE));
        }
        return items;
    }
    template <typename F> std::vector<std::string> List(const char* name) const {
        return List([&](char* b, uint32_t c, uint32_t s) { return Fn<F>(name)(b, c, s); });
    }
    template <typename F> std::vector<std::string> List(const char* name, const char* key) const {
        return List([&](char* b, uint32_t c, uint32_t s) { return Fn<F>(name)(key, b, c, s); });
    }

    // The first CPU offered for `target`, as the General page preselects it.
    std::string FirstCpu(const std::string& target) const {
        const auto cpus = List<PFN_GetEmulatorCPU>("GetEmulatorCPU", target.c_str());
        return cpus.empty() ? std::string() : cpus.front();
    }

    // Starts the stored machine; empty, or why it did not start.
    std::string Start(const std::string& name) const {
        if (Fn<PFN_StartEmulator>("StartEmulator")(name.c_str()) != 0)
            return {};
        return "start refused: " + ErrInfo(name);
    }
    // Stores and starts the machine, as above.
    std::string SaveAndStart(const EmulatorOptions& record) const {
        Fn<PFN_SaveEmulatorOptions>("SaveEmulatorOptions")(&record);
        return Start(bx::ReadField(record.general.name));
    }
    // GetStartEmulatorErrInfo's text of the machine.
    std::string ErrInfo(const std::string& name) const {
        auto info = Fn<PFN_GetStartEmulatorErrInfo>("GetStartEmulatorErrInfo");
        std::string text(info(name.c_str(), nullptr, 0), '\0');
        info(name.c_str(), text.data(), static_cast<uint32_t>(text.size()));
        return text.c_str();
    }

    // GetEmulatorInfo's text of the machine.
    std::string Info(const std::string& name) const {
        auto info = Fn<PFN_GetEmulatorInfo>("GetEmulatorInfo");
        std::string text(info(name.c_str(), nullptr, 0), '\0');
        info(name.c_str(), text.data(), static_cast<uint32_t>(text.size()));
        return text.c_str();
    }

    // `file` in the store, e.g. "vm%201.log".
    std::string StoreFile(const std::string& file) const { return m_store + "/" + file; }

    void Kill(const std::string& name) const { bxtest::EndEmulator(StoreFile(name + ".run")); }

private:
    void* m_lib = nullptr;
    std::string m_store;
};

// A machine for a stock kernel: target, the first CPU offered, memory in MB,
// kernel, initrd, command line, its serial console into `serial`.
inline EmulatorOptions GuestRecord(const ExportedBackend& backend, const std::string& name,
                                   const std::string& target, int32_t megabytes,
                                   const std::string& kernel, const std::string& initrd,
                                   const std::string& cmdLine, const std::string& serial) {
    EmulatorOptions record = ZeroRecord();
    bx::WriteField(record.general.name, name);
    bx::WriteField(record.general.target, target);
    bx::WriteField(record.general.cpu, backend.FirstCpu(target));
    record.general.memSize = megabytes;
    bx::WriteField(record.general.memType, "MB");
    bx::WriteField(record.os.osImage, kernel);
    bx::WriteField(record.os.initrdImage, initrd);
    bx::WriteField(record.os.cmdLine, cmdLine);
    record.peri.serialEnable = 1;
    bx::WriteField(record.peri.serialType, "file");
    bx::WriteField(record.peri.serialParam, serial);
    return record;
}

// What the console printed after `marker` up to the end of that line, once
// it has; a null array after `timeoutMs`.
inline QByteArray WaitForConsole(const QString& serial, const QByteArray& marker, int timeoutMs) {
    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < timeoutMs) {
        QFile file(serial);
        if (file.open(QIODevice::ReadOnly)) {
            const QByteArray text = file.readAll();
            const qsizetype at = text.indexOf(marker);
            const qsizetype end = at < 0 ? -1 : text.indexOf('\n', at);
            if (end >= 0)
                return text.mid(at + marker.size(), end - at - marker.size()).trimmed();
        }
        QTest::qWait(100);
    }
    return {};
}
