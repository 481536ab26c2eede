// The single-instance marker and the hand-over within one process.
#include "ScopedEnvironment.h"
#include "app/SingleInstance.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QWidget>
#include <QtTest>

#include <cerrno>
#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

// A top-level window as the running instance shows it.
std::unique_ptr<QWidget> Window(const QString& title, bool minimised) {
    auto window = std::make_unique<QWidget>();
    window->setWindowTitle(title);
    window->resize(200, 100);
    window->show();
    if (minimised) {
        window->showMinimized();
    }
    return window;
}

// A client of the hand-over that never blocks this thread, which also runs
// the listener: what does not fit into the socket now is sent on each check.
class Client {
public:
    bool Connect(const QString& path) {
        m_fd = ConnectToRunningInstance(path, 2000);
        return m_fd.valid() && fcntl(m_fd.get(), F_SETFL, O_NONBLOCK) == 0;
    }
    void Write(const QByteArray& bytes) {
        m_pending += bytes;
        Flush();
    }
    void Close() { m_fd.close(); }

    // The listener closed its end.
    bool Dropped() {
        if (!Flush()) {
            return true;
        }
        pollfd p{m_fd.get(), POLLIN, 0};
        if (poll(&p, 1, 0) <= 0) {
            return false;
        }
        if (p.revents & (POLLHUP | POLLERR)) {
            return true;
        }
        char byte;
        return recv(m_fd.get(), &byte, 1, MSG_PEEK | MSG_DONTWAIT) <= 0 && errno != EAGAIN;
    }

private:
    // False once the peer is gone.
    bool Flush() {
        while (!m_pending.isEmpty()) {
            const ssize_t n = send(m_fd.get(), m_pending.constData(), size_t(m_pending.size()),
                                   MSG_NOSIGNAL | MSG_DONTWAIT);
            if (n < 0) {
                return errno == EAGAIN || errno == EINTR;
            }
            m_pending.remove(0, n);
        }
        return true;
    }

    base::Fd m_fd;
    QByteArray m_pending;
};

} // namespace

class TestSingleInstance : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;
    QString m_socket;

    QString Path(const QString& name) const { return m_dir.filePath(name); }

private slots:
    void init() {
        m_socket = Path(QStringLiteral("hand-over-%1").arg(QTest::currentTestFunction()));
    }

    void markerLiesInTheRuntimeDirectory_data() {
        QTest::addColumn<QString>("runtimeDir");
        QTest::addColumn<bool>("usable");
        QTest::newRow("runtime directory") << m_dir.path() << true;
        QTest::newRow("unset") << QString() << false;
        QTest::newRow("missing directory") << m_dir.filePath("missing") << false;
        QTest::newRow("relative") << QStringLiteral("run/user") << false;
    }

    void markerLiesInTheRuntimeDirectory() {
        QFETCH(QString, runtimeDir);
        QFETCH(bool, usable);
        const QString expected =
            usable ? QDir(runtimeDir).filePath("global_Tarnwick")
                   : QDir(QDir::tempPath())
                         .filePath(QStringLiteral("global_Tarnwick-%1").arg(getuid()));
        QString marker, socket;
        {
            const ScopedEnvironment env({{"XDG_RUNTIME_DIR", runtimeDir.toLocal8Bit()}});
            marker = QString::fromStdString(InstanceMarkerPath());
            socket = InstanceSocketPath();
        }
        QCOMPARE(marker, expected);
        QCOMPARE(socket, expected + ".socket");
    }

    void markerIsHeldByOneAtATime() {
        const std::string path = Path("marker").toStdString();
        {
            CInstanceMarker first(path);
            QCOMPARE(first.Acquire(), CInstanceMarker::Role::First);
            QCOMPARE(first.Acquire(), CInstanceMarker::Role::First); // asking again changes nothing
            CInstanceMarker second(path);
            QCOMPARE(second.Acquire(), CInstanceMarker::Role::Second);
        }
        // Released with its holder.
        CInstanceMarker again(path);
        QCOMPARE(again.Acquire(), CInstanceMarker::Role::First);
    }

    void keptMarkerOutlivesItsObject() {
        const std::string path = Path("kept").toStdString();
        {
            CInstanceMarker first(path);
            QCOMPARE(first.Acquire(), CInstanceMarker::Role::First);
            first.KeepUntilExit();
        }
        CInstanceMarker second(path);
        QCOMPARE(second.Acquire(), CInstanceMarker::Role::Second);
    }

    void markerThatCannotBeMadeLeavesUsFirst_data() {
        QTest::addColumn<QString>("path");
        QTest::newRow("missing directory") << m_dir.filePath("missing/global_Tarnwick");
        QTest::newRow("a directory in the way") << m_dir.path();
    }

    void markerThatCannotBeMadeLeavesUsFirst() {
        QFETCH(QString, path);
        CInstanceMarker marker(path.toStdString());
        QCOMPARE(marker.Acquire(), CInstanceMarker::Role::First);
    }

    void markerDoesNotFollowSymlinks() {
        const QString target = Path("elsewhere");
        const QString link = Path("linked-marker");
        QVERIFY(QFile::link(target, link));
        CInstanceMarker marker(link.toStdString());
        QCOMPARE(marker.Acquire(), CInstanceMarker::Role::First);
        QVERIFY(!QFile::exists(target));
    }

    void captionRestoresMatchingWindowsOnly() {
        CInstanceListener listener(m_socket);
        QVERIFY(listener.Listen());
        auto main = Window("Tarnwick", true);
        auto second = Window("Tarnwick", true);
        auto other = Window("Tarnwick - other", true);
        auto hidden = Window("Tarnwick", false);
        hidden->hide();
        QSignalSpy received(&listener, &CInstanceListener::CaptionReceived);

        QVERIFY(SendCaptionToRunningInstance("Tarnwick", m_socket));
        QTRY_COMPARE(received.count(), 1);
        QCOMPARE(received.at(0).at(0).toString(), QStringLiteral("Tarnwick"));
        QVERIFY(!main->isMinimized());
        QVERIFY(!second->isMinimized());
        QVERIFY(other->isMinimized());
        QVERIFY(hidden->isHidden());
    }

    void captionMustMatchExactly_data() {
        QTest::addColumn<QByteArray>("caption");
        QTest::newRow("other case") << QByteArray("tarnwick");
        QTest::newRow("trailing blank") << QByteArray("Tarnwick ");
        QTest::newRow("prefix") << QByteArray("Tarn");
        QTest::newRow("not UTF-8") << QByteArray("Tarn\xff\xfe");
    }

    void captionMustMatchExactly() {
        QFETCH(QByteArray, caption);
        CInstanceListener listener(m_socket);
        QVERIFY(listener.Listen());
        auto main = Window("Tarnwick", true);
        QSignalSpy received(&listener, &CInstanceListener::CaptionReceived);
        QVERIFY(SendCaptionToRunningInstance(caption.toStdString(), m_socket));
        QTRY_COMPARE(received.count(), 1);
        QVERIFY(main->isMinimized());
    }

    void captionInTheLanguageFilesEncoding() {
        CInstanceListener listener(m_socket);
        QVERIFY(listener.Listen());
        auto main = Window(QString::fromUtf8("Verwaltung f\xc3\xbcr Maschinen"), true);
        QVERIFY(SendCaptionToRunningInstance("Verwaltung f\xc3\xbcr Maschinen", m_socket));
        QTRY_VERIFY(!main->isMinimized());
    }

    void clientThatClosesWithoutLineFeed() {
        CInstanceListener listener(m_socket);
        QVERIFY(listener.Listen());
        auto main = Window("Tarnwick", true);
        Client client;
        QVERIFY(client.Connect(m_socket));
        client.Write("Tarnwick");
        client.Close();
        QTRY_VERIFY(!main->isMinimized());
    }

    void hostileClientsAreDroppedWithoutBlocking() {
        CInstanceListener listener(m_socket);
        QVERIFY(listener.Listen());
        auto main = Window("Tarnwick", true);

        // Never sends, never closes.
        Client idle;
        QVERIFY(idle.Connect(m_socket));
        // Sends far more than any caption, without a line feed.
        Client flood;
        QVERIFY(flood.Connect(m_socket));
        flood.Write(QByteArray(4 * CInstanceListener::kMaxCaptionBytes, 'T'));
        QTRY_VERIFY(flood.Dropped());
        QVERIFY(main->isMinimized());

        // A proper caption still gets through while the idle client waits.
        QVERIFY(SendCaptionToRunningInstance("Tarnwick", m_socket));
        QTRY_VERIFY(!main->isMinimized());
        QVERIFY(!idle.Dropped());
        QTRY_VERIFY_WITH_TIMEOUT(idle.Dropped(), CInstanceListener::kClientTimeoutMs + 3000);
    }

    void emptyCaptionDoesNothing() {
        CInstanceListener listener(m_socket);
        QVERIFY(listener.Listen());
        auto untitled = Window(QString(), true);
        QSignalSpy received(&listener, &CInstanceListener::CaptionReceived);
        Client client;
        QVERIFY(client.Connect(m_socket));
        client.Write("\n");
        QTRY_VERIFY(client.Dropped());
        QCoreApplication::processEvents();
        QCOMPARE(received.count(), 0);
        QVERIFY(untitled->isMinimized());
    }

    void nobodyListening() {
        QElapsedTimer clock;
        clock.start();
        QVERIFY(!SendCaptionToRunningInstance("Tarnwick", m_socket));
        QFile stale(m_socket);
        QVERIFY(stale.open(QIODevice::WriteOnly));
        stale.close();
        QVERIFY(!SendCaptionToRunningInstance("Tarnwick", m_socket));
        QVERIFY(clock.elapsed() < 2000);
    }

    void staleSocketIsReplaced() {
        {
            QFile stale(m_socket);
            QVERIFY(stale.open(QIODevice::WriteOnly));
        }
        CInstanceListener listener(m_socket);
        QVERIFY(listener.Listen());
        auto main = Window("Tarnwick", true);
        QVERIFY(SendCaptionToRunningInstance("Tarnwick", m_socket));
        QTRY_VERIFY(!main->isMinimized());
    }

    void listenerGoneWithItsObject() {
        {
            CInstanceListener listener(m_socket);
            QVERIFY(listener.Listen());
        }
        QVERIFY(!SendCaptionToRunningInstance("Tarnwick", m_socket, 500));
    }
};

QTEST_MAIN(TestSingleInstance)
#include "tst_singleinstance.moc"
