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
    m.display = r.general.displayEnable != 0;
    m.sdSize = r.disk.sdSize;
    m.sdUnit = ReadField(r.disk.sdMemType);
    m.sdFile = ReadField(r.disk.sdFile);
    m.hdSize = r.disk.hdSize;
    m.hdUnit = ReadField(r.disk.hdMemType);
    m.hdFile = ReadField(r.disk.hdFile);
    m.serialOn = r.peri.serialEnable != 0;
    m.serialKind = ReadField(r.peri.serialType);
    m.serialParam = ReadField(r.peri.serialParam);
    const int count = std::clamp<int32_t>(r.peri.periCount, 0, MAX_PERI);
    for (int i = 0; i < count; ++i) {
        Peripheral p{ReadField(r.peri.peris[i].device), ReadField(r.peri.peris[i].param)};
        if (!p.device.empty())
            m.peripherals.push_back(std::move(p));
    }
    m.kernel = ReadField(r.os.osImage);
    m.initrd = ReadField(r.os.initrdImage);
    m.commandLine = ReadField(r.os.cmdLine);
    return m;
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
    r.general.displayEnable = m.display ? 1 : 0;
    r.disk.sdSize = m.sdSize;
    WriteField(r.disk.sdMemType, m.sdUnit);
    WriteField(r.disk.sdFile, m.sdFile);
    r.disk.hdSize = m.hdSize;
    WriteField(r.disk.hdMemType, m.hdUnit);
    WriteField(r.disk.hdFile, m.hdFile);
    r.peri.serialEnable = m.serialOn ? 1 : 0;
    WriteField(r.peri.serialType, m.serialKind);
    WriteField(r.peri.serialParam, m.serialParam);
    const std::size_t count = std::min<std::size_t>(m.peripherals.size(), MAX_PERI);
    r.peri.periCount = static_cast<int32_t>(count);
    for (std::size_t i = 0; i < count; ++i) {
        WriteField(r.peri.peris[i].device, m.peripherals[i].device);
        WriteField(r.peri.peris[i].param, m.peripherals[i].param);
    }
    WriteField(r.os.osImage, m.kernel);
    WriteField(r.os.initrdImage, m.initrd);
    WriteField(r.os.cmdLine, m.commandLine);
    return r;
}

} // namespace bx
