// The back end's word that a machine may have started or stopped, so the
// running marks follow the machines without a timer: the descriptor of its
// optional GetEmulatorEventFd, watched in the event loop.
#pragma once

#include <QObject>

class QSocketNotifier;

class CRunEventWatch : public QObject {
    Q_OBJECT
public:
    // Null when the back end offers no such descriptor.
    static CRunEventWatch* Create(QObject* parent);

signals:
    void Changed();

private:
    CRunEventWatch(int fd, QObject* parent);
    void OnReadable();

    int m_fd;
    QSocketNotifier* m_notifier;
};
