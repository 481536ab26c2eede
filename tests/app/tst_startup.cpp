// The whole start-up and shutdown of the application object in this process:
// its program directory holds the test back end.
#include "ModalDriver.h"
#include "TestBackendControl.h"
#include "TestBytes.h"
#include "app/SingleInstance.h"
#include "app/TarnwickApp.h"
#include "app/backend/EmulatorLib.h"
#include "app/backend/ProgramDir.h"
#include "lang/LanguageManager.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QWidget>
#include <QtTest>

#include <memory>
#include <unistd.h>

class TestStartup : public QObject {
    Q_OBJECT

    std::unique_ptr<QTemporaryDir> m_dir;
    QString m_language;

    QString LanguageFile() const {
        return QString::fromStdString(GetProgramDir()) + "/" + m_language + ".lng";
    }

    QByteArray LanguageFileText() const {
        return Exists(ToStd(LanguageFile())) ? Bytes(ReadBytes(ToStd(LanguageFile())))
                                             : QByteArray("<no file>");
    }

    // Runs InitInstance; `inside` runs once the main window is modal, which
    // is then closed through its close box.
    bool RunInitInstance(const std::function<void(QWidget*)>& inside) {
        OnNextModal([inside](QWidget* modal) {
            inside(modal);
            modal->close();
        });
        return theApp.InitInstance();
    }

private slots:
    void init() {
        m_dir = std::make_unique<QTemporaryDir>();
        QVERIFY(m_dir->isValid());
        // A fresh runtime directory each time: a start keeps its marker until
        // the process ends.
        qputenv("XDG_RUNTIME_DIR", m_dir->path().toLocal8Bit());
        // Unique, so parallel test programs never share the program
        // directory's language file.
        m_language = QStringLiteral("StartupTest%1").arg(getpid());
        QFile::remove(LanguageFile());
        theApp.m_strExtraArg.clear();
    }

    void cleanup() {
        qunsetenv("BREVANTIX_TEST_SCRIPT");
        FreeEmulatorLibrary();
        delete g_pLangManager;
        g_pLangManager = nullptr;
        QFile::remove(LanguageFile());
        m_dir.reset();
    }

    void firstInstanceRunsTheMainWindowAndShutsDown() {
        const QString script = m_dir->filePath("script");
        QVERIFY(WriteBytes(ToStd(script), "machines 2\n"));
        qputenv("BREVANTIX_TEST_SCRIPT", script.toLocal8Bit());

        theApp.m_strCommandLine = (" \t" + m_language + "  a b \r\n").toStdString();
        bool checked = false;
        const bool result = RunInitInstance([&](QWidget* modal) {
            checked = true;
            QVERIFY(g_hEmulatorLib != nullptr);
            QVERIFY(g_pLangManager != nullptr);
            QCOMPARE(modal->windowTitle(), QStringLiteral("Tarnwick"));
            const std::vector<BackendCall> enumerated = TestBackend::CallsOf("EnumAllEmulator");
            QVERIFY(!enumerated.empty());
            // The further argument, its leading blank kept.
            QCOMPARE(Bytes(enumerated[0].args[0]), QByteArray(" a b"));
            QCOMPARE(TestBackend::CallsOf("GetEmulatorOptions").size(), size_t(2));
        });
        QVERIFY(checked);
        QVERIFY(!result);
        QCOMPARE(Bytes(theApp.m_strExtraArg), QByteArray(" a b"));
        // Written back only at shutdown.
        QVERIFY(!QFile::exists(LanguageFile()));
        QVERIFY(g_hEmulatorLib != nullptr);

        QCOMPARE(theApp.ExitInstance(), 0);
        QVERIFY(g_hEmulatorLib == nullptr);
        QVERIFY(g_pLangManager == nullptr);
        QVERIFY(LanguageFileText().contains("102=Tarnwick"));
        QVERIFY(LanguageFileText().contains("[" + m_language.toUtf8() + "]"));
    }

    void runningInstanceIsBroughtBackBySecondProgram() {
        // The real program, started with our runtime directory, hands its
        // caption to this process's main window.
        QTemporaryDir programDir;
        const QString program = programDir.filePath("tarnwick");
        QVERIFY(QFile::copy(TARNWICK_EXE, program));
        const QString log = programDir.filePath("second.log");
        QVERIFY(QFile::copy(QString::fromStdString(GetProgramDir() + "/Brevantix.dll"),
                            programDir.filePath("Brevantix.dll")));

        theApp.m_strCommandLine = m_language.toStdString();
        theApp.m_strExtraArg = "left over";
        bool restored = false;
        int exitCode = -1;
        RunInitInstance([&](QWidget* modal) {
            // No further argument: the back end gets a null pointer.
            const std::vector<BackendCall> enumerated = TestBackend::CallsOf("EnumAllEmulator");
            QVERIFY(!enumerated.empty());
            QCOMPARE(Bytes(enumerated[0].args[0]), QByteArray("<null>"));
            modal->showMinimized();
            QVERIFY(modal->isMinimized());
            QProcess second;
            QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
            env.insert("BREVANTIX_TEST_LOG", log);
            second.setProcessEnvironment(env);
            second.start(program, {m_language});
            QTRY_VERIFY_WITH_TIMEOUT(second.state() == QProcess::NotRunning, 20000);
            exitCode = second.exitCode();
            QTRY_VERIFY(!modal->isMinimized());
            restored = true;
        });
        QVERIFY(restored);
        QVERIFY(theApp.ExtraArgOrNull() == nullptr);
        QCOMPARE(exitCode, 0);
        QVERIFY(!QFile::exists(log));
        QCOMPARE(theApp.ExitInstance(), 0);
    }

    void secondInstanceEndsWithoutBackEndOrWindow() {
        CInstanceMarker running;
        QCOMPARE(running.Acquire(), CInstanceMarker::Role::First);
        theApp.m_strCommandLine = (m_language + " extra").toStdString();
        QVERIFY(!theApp.InitInstance());
        QVERIFY(g_hEmulatorLib == nullptr);
        QVERIFY(g_pLangManager != nullptr);
        QVERIFY(!AnyModalOpen());
        QCOMPARE(theApp.ExitInstance(), 0);
        // Its texts are written back all the same.
        QVERIFY(LanguageFileText().contains("102=Tarnwick"));
    }
};

QTEST_MAIN(TestStartup)
#include "tst_startup.moc"
