// The local engine: machines in the store on this desktop, run by this user
// as QEMU processes.
#pragma once

#include "Catalogue.h"
#include "Engine.h"
#include "Store.h"

#include "base/Fd.h"

#include <map>
#include <mutex>
#include <optional>
#include <set>
#include <string>

namespace bx {

class QemuEngine final : public Engine {
public:
    QemuEngine();

    std::vector<std::string> Names() override;
    std::optional<Machine> Load(const std::string& name) override;
    Machine Defaults(const std::string& archs) override;
    void Save(const Machine& machine) override;
    void Remove(const std::string& name) override;
    EngineStart Start(const std::string& name) override;
    std::string ArchOf(const std::string& target) override;
    std::vector<std::string> Targets(const std::string& archs) override;
    std::vector<std::string> Cpus(const std::string& target) override;
    std::vector<std::string> Networks() override;
    std::vector<std::string> SerialKinds() override;
    std::vector<std::string> PeripheralKinds() override;
    int State(const std::string& name) override;
    bool Stop(const std::string& name, bool force) override;
    std::string Info(const std::string& name) override;
    EngineStart Clone(const std::string& from, const std::string& to) override;
    std::vector<std::string> AdapterDriverVersions() override;
    void InstallAdapter() override;
    void RenameAdapter(const std::string& from, const std::string& to) override;
    int EventFd() override;

private:
    // The probed choices, the machine an edit has deleted and will save
    // again, and the damaged machine files already logged.
    ChoiceCatalogue m_catalogue;
    std::mutex m_storeMutex;
    std::optional<std::string> m_edited;
    std::set<std::string> m_damagedLogged;
    // The machines the last listing read, by file, each given out once: the
    // manager loads every listed machine next, and a file still of the
    // version listed need not be read again.
    std::map<std::string, ListedFile> m_listed;
    // Told of starts and stops; made on first use.
    std::mutex m_eventsMutex;
    std::optional<base::Fd> m_events;
};

} // namespace bx
