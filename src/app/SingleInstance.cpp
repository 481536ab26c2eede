#include "app/SingleInstance.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSocketNotifier>
#include <QTimer>
#include <QWidget>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <functional>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/time.h>
#include <sys/un.h>
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

// False when the path does not fit into an address (or holds a NUL, which
// would name another socket).
bool SocketAddress(const QByteArray& path, sockaddr_un& address) {
    std::memset(&address, 0, sizeof address);
    address.sun_family = AF_UNIX;
    if (path.isEmpty() || path.size() >= qsizetype(sizeof address.sun_path) ||
        path.contains('\0')) {
        return false;
    }
    std::memcpy(address.sun_path, path.constData(), static_cast<size_t>(path.size()));
    return true;
}

// One client of the hand-over. Reads at most one byte past the bound and
// waits at most the timeout, whatever the client does.
class HandOverClient : public QObject {
public:
    HandOverClient(base::Fd fd, QObject* parent, std::function<void(const QByteArray&)> onCaption)
        : QObject(parent), m_fd(std::move(fd)), m_notifier(m_fd.get(), QSocketNotifier::Read),
          m_onCaption(std::move(onCaption)) {
        connect(&m_notifier, &QSocketNotifier::activated, this, [this] { Read(); });
        QTimer::singleShot(CInstanceListener::kClientTimeoutMs, this, [this] { End(false); });
    }

private:
    void Read() {
        if (m_done) {
            return;
        }
        const qsizetype room = CInstanceListener::kMaxCaptionBytes + 1 - m_received.size();
        const qsizetype before = m_received.size();
        m_received.resize(before + room);
        ssize_t n;
        do {
            n = recv(m_fd.get(), m_received.data() + before, static_cast<size_t>(room), 0);
        } while (n < 0 && errno == EINTR);
        m_received.resize(before + (n > 0 ? n : 0));
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            return;
        }
        const qsizetype newline = m_received.indexOf('\n');
        if (newline >= 0) {
            m_received.truncate(newline);
            End(true);
        } else if (m_received.size() > CInstanceListener::kMaxCaptionBytes) {
            End(false);
        } else if (n <= 0) {
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
        // The dispatcher must forget the descriptor before it is closed.
        m_notifier.setEnabled(false);
        m_fd.close();
        deleteLater();
        if (complete && !caption.isEmpty()) {
            m_onCaption(caption);
        }
    }

    base::Fd m_fd;
    // Declared after the descriptor, so it goes first.
    QSocketNotifier m_notifier;
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

base::Fd ConnectToRunningInstance(const QString& socketPath, int timeoutMs) {
    sockaddr_un address;
    if (!SocketAddress(QFile::encodeName(socketPath), address)) {
        return base::Fd();
    }
    base::Fd fd(socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0));
    if (!fd.valid()) {
        return fd;
    }
    // Bounds a connect to a full backlog as well as every write.
    const timeval limit{timeoutMs / 1000, (timeoutMs % 1000) * 1000};
    setsockopt(fd.get(), SOL_SOCKET, SO_SNDTIMEO, &limit, sizeof limit);
    int rc;
    do {
        rc = connect(fd.get(), reinterpret_cast<const sockaddr*>(&address), sizeof address);
    } while (rc != 0 && errno == EINTR);
    return rc == 0 ? std::move(fd) : base::Fd();
}

bool SendCaptionToRunningInstance(const std::string& caption, const QString& socketPath,
                                  int timeoutMs) {
    const base::Fd fd = ConnectToRunningInstance(socketPath, timeoutMs);
    if (!fd.valid()) {
        return false;
    }
    const std::string message = caption + '\n';
    size_t sent = 0;
    while (sent < message.size()) {
        // No SIGPIPE when the running instance drops us.
        const ssize_t n =
            send(fd.get(), message.data() + sent, message.size() - sent, MSG_NOSIGNAL);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            return false;
        }
        sent += static_cast<size_t>(n);
    }
    return true;
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
    : QObject(parent), m_socketPath(std::move(socketPath)) {}

CInstanceListener::~CInstanceListener() {
    Close();
}

void CInstanceListener::Close() {
    if (!m_fd.valid()) {
        return;
    }
    delete m_notifier;
    m_notifier = nullptr;
    m_fd.close();
    unlink(QFile::encodeName(m_socketPath).constData());
}

bool CInstanceListener::Listen() {
    Close();
    const QByteArray path = QFile::encodeName(m_socketPath);
    sockaddr_un address;
    if (!SocketAddress(path, address)) {
        return false;
    }
    base::Fd fd(socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0));
    if (!fd.valid()) {
        return false;
    }
    // Whoever holds the marker owns the socket, so one left behind is stale.
    unlink(path.constData());
    if (bind(fd.get(), reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
        return false;
    }
    // Only this user may hand over; the fallback directory is shared.
    if (chmod(path.constData(), S_IRUSR | S_IWUSR) != 0 || listen(fd.get(), SOMAXCONN) != 0) {
        unlink(path.constData());
        return false;
    }
    m_fd = std::move(fd);
    m_notifier = new QSocketNotifier(m_fd.get(), QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, &CInstanceListener::AcceptPending);
    return true;
}

void CInstanceListener::AcceptPending() {
    for (;;) {
        base::Fd client(accept4(m_fd.get(), nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK));
        if (!client.valid()) {
            if (errno == EINTR || errno == ECONNABORTED) {
                continue;
            }
            return;
        }
        new HandOverClient(std::move(client), this, [this](const QByteArray& bytes) {
            const QString caption = QString::fromLocal8Bit(bytes);
            BringWindowsToFront(caption);
            emit CaptionReceived(caption);
        });
    }
}
