#include "app/SingleInstance.h"

#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QLocalServer>
#include <QLocalSocket>
#include <QTimer>
#include <QWidget>

#include <cerrno>
#include <fcntl.h>
#include <functional>
#include <sys/file.h>
#include <unistd.h>

namespace {

constexpr const char* kMarkerName = "global_Tarnwick";

std::string MarkerDirectoryAndName() {
    const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    if (!runtime.isEmpty() && QDir::isAbsolutePath(runtime) && QFileInfo(runtime).isDir()) {
        return QDir(runtime).filePath(kMarkerName).toStdString();
    }
    // The temporary directory is shared by every user.
    const QString name = QStringLiteral("%1-%2").arg(kMarkerName).arg(getuid());
    return QDir(QDir::tempPath()).filePath(name).toStdString();
}

// One client of the hand-over. Reads at most one byte past the bound and
// waits at most the timeout, whatever the client does.
class HandOverClient : public QObject {
public:
    HandOverClient(QLocalSocket* socket, std::function<void(const QByteArray&)> onCaption)
        : QObject(socket), m_socket(socket), m_onCaption(std::move(onCaption)) {
        connect(socket, &QLocalSocket::readyRead, this, [this] { Read(false); });
        connect(socket, &QLocalSocket::disconnected, this, [this] { Read(true); });
        QTimer::singleShot(CInstanceListener::kClientTimeoutMs, this, [this] { End(false); });
        Read(socket->state() != QLocalSocket::ConnectedState);
    }

private:
    void Read(bool closed) {
        if (m_done) {
            return;
        }
        const qsizetype room = CInstanceListener::kMaxCaptionBytes + 1 - m_received.size();
        m_received.append(m_socket->read(room));
        const qsizetype newline = m_received.indexOf('\n');
        if (newline >= 0) {
            m_received.truncate(newline);
            End(true);
        } else if (m_received.size() > CInstanceListener::kMaxCaptionBytes) {
            End(false);
        } else if (closed) {
            // Closing without a line feed also ends the caption.
            End(true);
        }
    }

    void End(bool complete) {
        if (m_done) {
            return;
        }
        m_done = true;
        const QByteArray caption = m_received;
        m_socket->abort();
        m_socket->deleteLater();
        if (complete && !caption.isEmpty()) {
            m_onCaption(caption);
        }
    }

    QLocalSocket* m_socket;
    std::function<void(const QByteArray&)> m_onCaption;
    QByteArray m_received;
    bool m_done = false;
};

} // namespace

std::string InstanceMarkerPath() {
    return MarkerDirectoryAndName();
}

QString InstanceSocketPath() {
    return QString::fromStdString(InstanceMarkerPath()) + QStringLiteral(".socket");
}

CInstanceMarker::CInstanceMarker(std::string path) : m_path(std::move(path)) {}

CInstanceMarker::Role CInstanceMarker::Acquire() {
    if (m_fd.valid()) {
        return Role::First;
    }
    // No inheritance: an emulator started by the back end must not keep the
    // marker alive after the manager ends.
    base::Fd fd(open(m_path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600));
    if (!fd.valid()) {
        return Role::First;
    }
    int rc;
    do {
        rc = flock(fd.get(), LOCK_EX | LOCK_NB);
    } while (rc != 0 && errno == EINTR);
    if (rc != 0) {
        return errno == EWOULDBLOCK ? Role::Second : Role::First;
    }
    m_fd = std::move(fd);
    return Role::First;
}

bool SendCaptionToRunningInstance(const std::string& caption, const QString& socketPath,
                                  int timeoutMs) {
    QLocalSocket socket;
    socket.connectToServer(socketPath);
    if (!socket.waitForConnected(timeoutMs)) {
        return false;
    }
    QByteArray message(caption.data(), static_cast<qsizetype>(caption.size()));
    message.append('\n');
    socket.write(message);
    bool sent = true;
    while (sent && socket.bytesToWrite() > 0) {
        sent = socket.waitForBytesWritten(timeoutMs);
    }
    socket.disconnectFromServer();
    if (socket.state() != QLocalSocket::UnconnectedState) {
        socket.waitForDisconnected(timeoutMs);
    }
    return sent;
}

void BringWindowsToFront(const QString& title) {
    const QWidgetList windows = QApplication::topLevelWidgets();
    for (QWidget* window : windows) {
        if (!window->isVisible() || window->windowTitle() != title) {
            continue;
        }
        if (window->isMinimized()) {
            window->showNormal();
        }
        window->raise();
        window->activateWindow();
    }
}

CInstanceListener::CInstanceListener(QString socketPath, QObject* parent)
    : QObject(parent), m_socketPath(std::move(socketPath)), m_server(new QLocalServer(this)) {
    m_server->setSocketOptions(QLocalServer::UserAccessOption);
    connect(m_server, &QLocalServer::newConnection, this, &CInstanceListener::OnNewConnection);
}

CInstanceListener::~CInstanceListener() {
    m_server->close();
}

bool CInstanceListener::Listen() {
    // Whoever holds the marker owns the socket, so one left behind is stale.
    QLocalServer::removeServer(m_socketPath);
    return m_server->listen(m_socketPath);
}

void CInstanceListener::OnNewConnection() {
    while (QLocalSocket* client = m_server->nextPendingConnection()) {
        Accept(client);
    }
}

void CInstanceListener::Accept(QLocalSocket* client) {
    new HandOverClient(client, [this](const QByteArray& bytes) {
        const QString caption = QString::fromLocal8Bit(bytes);
        BringWindowsToFront(caption);
        emit CaptionReceived(caption);
    });
}
