// A second start of the real program while an instance runs.
#include "TestBytes.h"
#include "app/SingleInstance.h"
#include "app/backend/ProgramDir.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QWidget>
#include <QtTest>

#include <memory>

class TestSecondInstance : public QObject {
    Q_OBJECT

    // A program directory of its own (so its language file and back end are
    // ours to look at) and a runtime directory shared with the process.
    std::unique_ptr<QTemporaryDir> m_dir;
    QString m_program;
    QString m_runtime;
    QString m_log;

    QString ProgramFile(const QString& name) const { return m_dir->filePath("prog/" + name); }

    std::unique_ptr<QProcess> Start(const QStringList& args = {}) {
        auto process = std::make_unique<QProcess>();
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("XDG_RUNTIME_DIR", m_runtime);
        env.insert("BREVANTIX_TEST_LOG", m_log);
        env.insert("QT_QPA_PLATFORM", "offscreen");
        env.remove("BREVANTIX_TEST_SCRIPT");
        process->setProcessEnvironment(env);
        process->setProcessChannelMode(QProcess::ForwardedChannels);
        process->start(m_program, args);
        return process;
    }

    // Waits with the event loop running, so this process can take the caption.
    static bool Ends(QProcess& process, int timeoutMs = 20000) {
        QElapsedTimer clock;
        clock.start();
        while (process.state() != QProcess::NotRunning && clock.elapsed() < timeoutMs) {
            QTest::qWait(20);
        }
        return process.state() == QProcess::NotRunning;
    }

    bool BackEndLoaded() const { return QFile::exists(m_log); }

    static std::unique_ptr<QWidget> MinimisedWindow(const QString& title) {
        auto window = std::make_unique<QWidget>();
        window->setWindowTitle(title);
        window->show();
        window->showMinimized();
        return window;
    }

private slots:
    void init() {
        m_dir = std::make_unique<QTemporaryDir>();
        QVERIFY(m_dir->isValid());
        QVERIFY(QDir(m_dir->path()).mkpath("prog"));
        QVERIFY(QDir(m_dir->path()).mkpath("run"));
        m_runtime = m_dir->filePath("run");
        QVERIFY(QFile::setPermissions(m_runtime,
                                      QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
        m_log = m_dir->filePath("backend.log");
        m_program = ProgramFile("tarnwick");
        QVERIFY(QFile::copy(TARNWICK_EXE, m_program));
        // The test back end beside it shows by its log whether it was loaded.
        QVERIFY(QFile::copy(QString::fromStdString(GetProgramDir() + "/Brevantix.dll"),
                            ProgramFile("Brevantix.dll")));
        qputenv("XDG_RUNTIME_DIR", m_runtime.toLocal8Bit());
    }

    void cleanup() { m_dir.reset(); }

    void secondStartRestoresTheRunningWindow_data() {
        QTest::addColumn<QByteArray>("languageFile"); // empty: none
        QTest::addColumn<QString>("title");
        QTest::newRow("built-in caption") << QByteArray() << QStringLiteral("Tarnwick");
        QTest::newRow("caption from the language file")
            << QByteArray("[English]\n102=Maschinenverwaltung\n")
            << QStringLiteral("Maschinenverwaltung");
    }

    void secondStartRestoresTheRunningWindow() {
        QFETCH(QByteArray, languageFile);
        QFETCH(QString, title);
        if (!languageFile.isEmpty())
            QVERIFY(WriteBytes(ToStd(ProgramFile("English.lng")), Bytes(languageFile)));
        CInstanceMarker marker;
        QCOMPARE(marker.Acquire(), CInstanceMarker::Role::First);
        CInstanceListener listener;
        QVERIFY(listener.Listen());
        auto window = MinimisedWindow(title);

        auto second = Start();
        QVERIFY(Ends(*second));
        QCOMPARE(second->exitStatus(), QProcess::NormalExit);
        QCOMPARE(second->exitCode(), 0);
        QTRY_VERIFY(!window->isMinimized());
        QVERIFY(!BackEndLoaded());
        // The second instance still writes its language texts back.
        QVERIFY(
            Bytes(ReadBytes(ToStd(ProgramFile("English.lng")))).contains("102=" + title.toUtf8()));
    }

    void markerTakenButNobodyListening() {
        CInstanceMarker marker;
        QCOMPARE(marker.Acquire(), CInstanceMarker::Role::First);
        auto second = Start({"Deutsch", "extra"});
        QVERIFY(Ends(*second, 10000));
        QCOMPARE(second->exitStatus(), QProcess::NormalExit);
        QCOMPARE(second->exitCode(), 0);
        QVERIFY(!BackEndLoaded());
        QVERIFY(QFile::exists(ProgramFile("Deutsch.lng")));
    }

    void oneRunningProgramAtATime() {
        auto first = Start();
        // The first instance loads the back end before it shows its window.
        QTRY_VERIFY_WITH_TIMEOUT(BackEndLoaded(), 20000);
        QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(InstanceSocketPath()), 20000);
        QFile::remove(m_log);

        auto second = Start();
        QVERIFY(Ends(*second));
        QCOMPARE(second->exitCode(), 0);
        QVERIFY(!BackEndLoaded());
        QCOMPARE(first->state(), QProcess::Running);

        // However the first ends, its marker goes with it.
        first->kill();
        QVERIFY(first->waitForFinished(10000));
        auto third = Start();
        QTRY_VERIFY_WITH_TIMEOUT(BackEndLoaded(), 20000);
        QCOMPARE(third->state(), QProcess::Running);
        third->kill();
        QVERIFY(third->waitForFinished(10000));
    }
};

QTEST_MAIN(TestSecondInstance)
#include "tst_secondinstance.moc"
