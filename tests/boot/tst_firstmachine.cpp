// A newcomer's first machine: scripts/first-machine.sh, run for a user with
// an empty store, stores "example", which boots to its greeting through our
// back end; it is made once, and not made again after the user deleted it.
#include "ExportedBackend.h"

#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

class TestFirstMachine : public QObject {
    Q_OBJECT

private slots:
    void exampleMachineBootsAndIsMadeOnce();

private:
    QString RunScript(const QString& home, const QString& console);
};

QString TestFirstMachine::RunScript(const QString& home, const QString& console) {
    QProcess script;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const char* name : {"XDG_DATA_HOME", "TARNWICK_STORE", "XDG_STATE_HOME", "XDG_CACHE_HOME"})
        env.remove(name);
    env.insert("HOME", home);
    env.insert("TARNWICK_EXAMPLE_ASSETS",
               qEnvironmentVariable("TARNWICK_BOOT_ASSETS", TARNWICK_BOOT_ASSETS));
    env.insert("TARNWICK_EXAMPLE_SERIAL", "file:" + console);
    script.setProcessEnvironment(env);
    script.start("bash", {TARNWICK_SOURCE_DIR "/scripts/first-machine.sh", TARNWICK_BUILD_DIR});
    script.waitForFinished(120000);
    return QString::fromUtf8(script.readAllStandardOutput() + script.readAllStandardError());
}

void TestFirstMachine::exampleMachineBootsAndIsMadeOnce() {
    const QString assets = qEnvironmentVariable("TARNWICK_BOOT_ASSETS", TARNWICK_BOOT_ASSETS);
    if (!QFile::exists(assets + "/arm/busybox"))
        QSKIP(qPrintable("no arm kernel in " + assets + "; run scripts/boot-assets.sh"));
    QTemporaryDir home;
    QVERIFY(home.isValid());
    const QString console = home.path() + "/console.txt";
    const QString said = RunScript(home.path(), console);
    QVERIFY2(said.contains("stored the machine \"example\""), qPrintable(said));

    ExportedBackend backend;
    QVERIFY(backend.Load(home.path(), home.path() + "/.local/share/tarnwick/machines"));
    EmulatorOptions example = ZeroRecord();
    QCOMPARE(backend.Fn<PFN_GetEmulatorOptions>("GetEmulatorOptions")("example", &example), 1);
    QCOMPARE(bx::ReadField(example.general.target), std::string("virt (arm)"));
    QCOMPARE(bx::ReadField(example.general.tapAdapter), std::string("(user-mode network)"));
    QCOMPARE(example.general.memSize, 256);
    const std::string refused = backend.SaveAndStart(example);
    QVERIFY2(refused.empty(), refused.c_str());
    const QByteArray greeting =
        WaitForConsole(console, "Hello from your first Tarnwick machine", 120000);
    backend.Kill("example");
    QVERIFY2(greeting.contains("Linux"), qPrintable(console));

    // Run again: nothing new. Deleted: not made again unasked, and told how.
    QVERIFY(!RunScript(home.path(), console).contains("stored"));
    backend.Fn<PFN_DelEmulatorOptions>("DelEmulatorOptions")("example", "arm");
    const QString again = RunScript(home.path(), console);
    QVERIFY2(again.contains("to get it again: rm "), qPrintable(again));
    QCOMPARE(backend.Fn<PFN_GetEmulatorOptions>("GetEmulatorOptions")("example", &example), 0);
}

QTEST_GUILESS_MAIN(TestFirstMachine)
#include "tst_firstmachine.moc"
