// An initramfs in the kernel's "newc" cpio format, for the example machine
// and the boot tests.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>

namespace bx {

class CpioWriter {
public:
    void Directory(std::string_view name) { Entry(name, 040755, {}); }
    void File(std::string_view name, std::string_view data, uint32_t mode = 0100755) {
        Entry(name, mode, data);
    }
    void CharDevice(std::string_view name, uint32_t major, uint32_t minor) {
        Entry(name, 020600, {}, major, minor);
    }
    std::string Finish() {
        Entry("TRAILER!!!", 0, {});
        return m_out;
    }

private:
    void Entry(std::string_view name, uint32_t mode, std::string_view data, uint32_t major = 0,
               uint32_t minor = 0) {
        const uint32_t fields[] = {++m_inode,
                                   mode,
                                   0,
                                   0,
                                   1,
                                   0,
                                   uint32_t(data.size()),
                                   0,
                                   0,
                                   major,
                                   minor,
                                   uint32_t(name.size() + 1),
                                   0};
        m_out += "070701";
        for (uint32_t f : fields) {
            char hex[9];
            std::snprintf(hex, sizeof hex, "%08X", f);
            m_out += hex;
        }
        m_out += name;
        m_out += '\0';
        Pad();
        m_out += data;
        Pad();
    }
    void Pad() {
        while (m_out.size() % 4)
            m_out += '\0';
    }

    std::string m_out;
    uint32_t m_inode = 0;
};

} // namespace bx
