#include "Machine.h"

#include "Text.h"

#include <algorithm>
#include <cstring>

namespace bx {

Machine MachineFromRecord(const EmulatorOptions& r) {
    Machine m;
    m.name = ReadField(r.general.name);
    m.arch = ReadField(r.general.arch);
    m.target = ReadField(r.general.target);
    m.cpu = ReadField(r.general.cpu);
    m.memSize = r.general.memSize;
    m.memType = ReadField(r.general.memType);
    m.network = ReadField(r.general.tapAdapter);
    m.display = r.general.displayEnable;
    m.sdSize = r.disk.sdSize;
    m.sdUnit = ReadField(r.disk.sdMemType);
    m.sdFile = ReadField(r.disk.sdFile);
    m.hdSize = r.disk.hdSize;
    m.hdUnit = ReadField(r.disk.hdMemType);
    m.hdFile = ReadField(r.disk.hdFile);
    m.serialOn = r.peri.serialEnable;
    m.serialKind = ReadField(r.peri.serialType);
    m.serialParam = ReadField(r.peri.serialParam);
    m.rowCount = r.peri.periCount;
    for (int i = 0; i < MAX_PERI; ++i)
        m.rows[i] = {ReadField(r.peri.peris[i].device), ReadField(r.peri.peris[i].param)};
    m.kernel = ReadField(r.os.osImage);
    m.initrd = ReadField(r.os.initrdImage);
    m.commandLine = ReadField(r.os.cmdLine);
    return m;
}

std::vector<Peripheral> Machine::Peripherals() const {
    std::vector<Peripheral> used;
    for (int i = 0; i < std::clamp<int32_t>(rowCount, 0, MAX_PERI); ++i)
        if (!rows[i].device.empty())
            used.push_back(rows[i]);
    return used;
}

EmulatorOptions RecordFromMachine(const Machine& m) {
    EmulatorOptions r;
    std::memset(&r, 0, sizeof r);
    WriteField(r.general.name, m.name);
    WriteField(r.general.arch, m.arch);
    WriteField(r.general.target, m.target);
    WriteField(r.general.cpu, m.cpu);
    r.general.memSize = m.memSize;
    WriteField(r.general.memType, m.memType);
    WriteField(r.general.tapAdapter, m.network);
    r.general.displayEnable = m.display;
    r.disk.sdSize = m.sdSize;
    WriteField(r.disk.sdMemType, m.sdUnit);
    WriteField(r.disk.sdFile, m.sdFile);
    r.disk.hdSize = m.hdSize;
    WriteField(r.disk.hdMemType, m.hdUnit);
    WriteField(r.disk.hdFile, m.hdFile);
    r.peri.serialEnable = m.serialOn;
    WriteField(r.peri.serialType, m.serialKind);
    WriteField(r.peri.serialParam, m.serialParam);
    r.peri.periCount = m.rowCount;
    for (int i = 0; i < MAX_PERI; ++i) {
        WriteField(r.peri.peris[i].device, m.rows[i].device);
        WriteField(r.peri.peris[i].param, m.rows[i].param);
    }
    WriteField(r.os.osImage, m.kernel);
    WriteField(r.os.initrdImage, m.initrd);
    WriteField(r.os.cmdLine, m.commandLine);
    return r;
}

} // namespace bx
