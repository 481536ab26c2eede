// The built Brevantix.dll through its seventeen exports, loaded as the
// manager loads it.
#include "BackendTestUtil.h"

#include <QTemporaryDir>
#include <QtTest>
#include <dlfcn.h>
#include <functional>

using namespace bxtest;

class TestBackendExports : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void exportsAllSeventeen();
    void storeThroughTheListProtocol();
    void nullArgumentsAreHarmless();
    void startErrorTextProtocol();
    void choicesLists();

private:
    template <typename F> F Fn(const char* name) {
        return reinterpret_cast<F>(::dlsym(m_lib, name));
    }
    std::vector<std::string> List(const std::function<uint32_t(char*, uint32_t, uint32_t)>& call);

    QTemporaryDir m_dir;
    void* m_lib = nullptr;
};

void TestBackendExports::initTestCase() {
    qputenv("TARNWICK_STORE", (m_dir.path() + "/store").toLocal8Bit());
    qputenv("XDG_CACHE_HOME", (m_dir.path() + "/cache").toLocal8Bit());
    m_lib = ::dlopen(BREVANTIX_LIBRARY_PATH, RTLD_NOW | RTLD_LOCAL);
    QVERIFY2(m_lib, ::dlerror());
}

void TestBackendExports::cleanupTestCase() {
    if (m_lib)
        ::dlclose(m_lib);
}

std::vector<std::string>
TestBackendExports::List(const std::function<uint32_t(char*, uint32_t, uint32_t)>& call) {
    const uint32_t count = call(nullptr, 0, BREVANTIX_SLOT_SIZE);
    std::vector<char> buffer(std::size_t(count) * BREVANTIX_SLOT_SIZE + 1, '\x7f');
    const uint32_t written = call(buffer.data(), count, BREVANTIX_SLOT_SIZE);
    std::vector<std::string> items;
    for (uint32_t i = 0; i < std::min(written, count); ++i)
        items.emplace_back(
            buffer.data() + std::size_t(i) * BREVANTIX_SLOT_SIZE,
            strnlen(buffer.data() + std::size_t(i) * BREVANTIX_SLOT_SIZE, BREVANTIX_SLOT_SIZE));
    return items;
}

void TestBackendExports::exportsAllSeventeen() {
    for (const char* name :
         {"EnumAllEmulator", "GetEmulatorOptions", "SetEmulatorOptDefault", "SaveEmulatorOptions",
          "DelEmulatorOptions", "StartEmulator", "GetStartEmulatorErrInfo", "GetArch",
          "GetEmulatorTarget", "GetEmulatorCPU", "GetMemType", "RefreshTapNetWork",
          "InstallTapNetWork", "ReNameTapNetWork", "GetTapDrvVer", "GetSerialType", "GetPeriType"})
        QVERIFY2(::dlsym(m_lib, name), name);
    // Nothing of the inside shows.
    QVERIFY(!::dlsym(m_lib, "_ZN2bx8CutTextESt17basic_string_viewIcSt11char_traitsIcEEm"));
}

void TestBackendExports::storeThroughTheListProtocol() {
    auto defaults = Fn<PFN_SetEmulatorOptDefault>("SetEmulatorOptDefault");
    auto save = Fn<PFN_SaveEmulatorOptions>("SaveEmulatorOptions");
    auto get = Fn<PFN_GetEmulatorOptions>("GetEmulatorOptions");
    auto del = Fn<PFN_DelEmulatorOptions>("DelEmulatorOptions");
    auto enumAll = Fn<PFN_EnumAllEmulator>("EnumAllEmulator");
    auto names = [&] {
        return List([&](char* b, uint32_t c, uint32_t s) { return enumAll(nullptr, b, c, s); });
    };
    QVERIFY(names().empty());

    EmulatorOptions record = ZeroRecord();
    defaults(nullptr, &record);
    QVERIFY(record.general.target[0] != '\0');
    save(&record); // no name: not stored
    QVERIFY(names().empty());

    for (const char* name : {"zeta", "alpha", "../x"}) {
        bx::WriteField(record.general.name, name);
        save(&record);
    }
    QCOMPARE(names(), (std::vector<std::string>{"../x", "alpha", "zeta"}));
    EmulatorOptions back = ZeroRecord();
    QCOMPARE(get("alpha", &back), 1);
    bx::WriteField(record.general.name, "alpha");
    QVERIFY(SameRecord(back, record));
    QCOMPARE(get("missing", &back), 0);

    // A capacity below the count: only that many are written.
    std::vector<char> two(2 * BREVANTIX_SLOT_SIZE);
    QCOMPARE(enumAll(nullptr, two.data(), 2, BREVANTIX_SLOT_SIZE), 2u);

    del("alpha", "arm");
    QCOMPARE(names(), (std::vector<std::string>{"../x", "zeta"}));
}

void TestBackendExports::nullArgumentsAreHarmless() {
    Fn<PFN_SaveEmulatorOptions>("SaveEmulatorOptions")(nullptr);
    Fn<PFN_SetEmulatorOptDefault>("SetEmulatorOptDefault")(nullptr, nullptr);
    Fn<PFN_DelEmulatorOptions>("DelEmulatorOptions")(nullptr, nullptr);
    QCOMPARE(Fn<PFN_GetEmulatorOptions>("GetEmulatorOptions")(nullptr, nullptr), 0);
    QCOMPARE(Fn<PFN_StartEmulator>("StartEmulator")(nullptr), 0);
    Fn<PFN_GetArch>("GetArch")(nullptr, nullptr, 32);
    Fn<PFN_ReNameTapNetWork>("ReNameTapNetWork")(nullptr, nullptr);
    QCOMPARE(Fn<PFN_GetEmulatorCPU>("GetEmulatorCPU")(nullptr, nullptr, 0, 260), 0u);
    QCOMPARE(Fn<PFN_GetStartEmulatorErrInfo>("GetStartEmulatorErrInfo")(nullptr, nullptr, 0), 0u);
    char arch[4] = {'x', 'x', 'x', 'x'};
    Fn<PFN_GetArch>("GetArch")("virt (aarch64)", arch, sizeof arch); // cut, never past
    QCOMPARE(std::string(arch), std::string("aar"));
}

void TestBackendExports::startErrorTextProtocol() {
    auto start = Fn<PFN_StartEmulator>("StartEmulator");
    auto info = Fn<PFN_GetStartEmulatorErrInfo>("GetStartEmulatorErrInfo");
    QCOMPARE(info("never started", nullptr, 0), 0u);
    QCOMPARE(start("not stored at all"), 0);
    const uint32_t n = info("not stored at all", nullptr, 0);
    QVERIFY(n > 0);
    std::vector<char> buffer(n + 1, '\x7f');
    buffer[n] = '\0';
    QCOMPARE(info("not stored at all", buffer.data(), n), n);
    const std::string text(buffer.data());
    QCOMPARE(text.size(), std::size_t(n));
    QVERIFY2(text.find("is not stored") != std::string::npos, text.c_str());
}

void TestBackendExports::choicesLists() {
    auto targets = List([&](char* b, uint32_t c, uint32_t s) {
        return Fn<PFN_GetEmulatorTarget>("GetEmulatorTarget")(nullptr, b, c, s);
    });
    QVERIFY(!targets.empty());
    char arch[BREVANTIX_ARCH_SIZE] = {};
    Fn<PFN_GetArch>("GetArch")(targets.front().c_str(), arch, sizeof arch);
    QVERIFY(arch[0] != '\0');
    auto cpus = List([&](char* b, uint32_t c, uint32_t s) {
        return Fn<PFN_GetEmulatorCPU>("GetEmulatorCPU")(targets.front().c_str(), b, c, s);
    });
    QVERIFY(!cpus.empty());
    QCOMPARE(List([&](char* b, uint32_t c, uint32_t s) {
                 return Fn<PFN_GetMemType>("GetMemType")(b, c, s);
             }),
             (std::vector<std::string>{"MB", "GB"}));
    QCOMPARE(List([&](char* b, uint32_t c, uint32_t s) {
                 return Fn<PFN_GetSerialType>("GetSerialType")(b, c, s);
             }).front(),
             std::string("pty"));
    QVERIFY(!List([&](char* b, uint32_t c, uint32_t s) {
                 return Fn<PFN_GetPeriType>("GetPeriType")(b, c, s);
             }).empty());
    // The host's adapters: whatever there is, a consistent list.
    List([&](char* b, uint32_t c, uint32_t s) {
        return Fn<PFN_RefreshTapNetWork>("RefreshTapNetWork")(b, c, s);
    });
    List([&](char* b, uint32_t c, uint32_t s) {
        return Fn<PFN_GetTapDrvVer>("GetTapDrvVer")(b, c, s);
    });
}

QTEST_GUILESS_MAIN(TestBackendExports)
#include "tst_backend_exports.moc"
