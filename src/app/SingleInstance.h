// One instance per user: the marker "global_Tarnwick" and the hand-over of a
// second start to the running instance.
#pragma once

#include "base/Fd.h"

#include <QObject>
#include <QString>
#include <string>

class QSocketNotifier;

// $XDG_RUNTIME_DIR/global_Tarnwick; without a usable runtime directory the
// system's temporary directory, with the user id in the name.
std::string InstanceMarkerPath();
// The hand-over socket beside the marker.
QString InstanceSocketPath();

// An exclusive flock on the marker file. The kernel drops it when the process
// ends, however it ends.
class CInstanceMarker {
public:
    enum class Role { First, Second };

    explicit CInstanceMarker(std::string path = InstanceMarkerPath());

    // Second only when another process holds the marker; a marker that cannot
    // be made for any other reason leaves this process the first.
    Role Acquire();
    // Keeps the marker after this object is gone, until the process ends.
    void KeepUntilExit() { m_fd.release(); }

private:
    std::string m_path;
    base::Fd m_fd;
};

// A blocking stream connection to the hand-over socket whose connect and
// writes give up after the timeout; invalid when nobody listens there.
base::Fd ConnectToRunningInstance(const QString& socketPath, int timeoutMs);

// Sends the caption (bytes as the language file holds them) to the running
// instance. Every wait is bounded; false when nobody took it.
bool SendCaptionToRunningInstance(const std::string& caption,
                                  const QString& socketPath = InstanceSocketPath(),
                                  int timeoutMs = 2000);

// Every visible top-level window titled exactly `title` comes to the front in
// its normal state.
void BringWindowsToFront(const QString& title);

// The running instance's end of the hand-over: each client sends one caption
// ended by a line feed or by closing. A client that sends too much or takes
// too long is dropped without effect.
class CInstanceListener : public QObject {
    Q_OBJECT
public:
    static constexpr qsizetype kMaxCaptionBytes = 64 * 1024;
    static constexpr int kClientTimeoutMs = 3000;

    explicit CInstanceListener(QString socketPath = InstanceSocketPath(),
                               QObject* parent = nullptr);
    ~CInstanceListener() override;

    // Replaces a stale socket of an earlier run; false when it cannot listen.
    bool Listen();

signals:
    // Emitted after the windows were brought to the front.
    void CaptionReceived(const QString& caption);

private:
    void AcceptPending();
    void Close();

    QString m_socketPath;
    base::Fd m_fd;
    QSocketNotifier* m_notifier = nullptr;
};
