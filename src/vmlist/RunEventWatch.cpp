#include "vmlist/RunEventWatch.h"

#include "app/backend/EmulatorLib.h"

#include <QSocketNotifier>
#include <poll.h>
#include <unistd.h>

CRunEventWatch* CRunEventWatch::Create(QObject* parent) {
    const int fd = Emu::GetEmulatorEventFd();
    return fd >= 0 ? new CRunEventWatch(fd, parent) : nullptr;
}

CRunEventWatch::CRunEventWatch(int fd, QObject* parent)
    : QObject(parent), m_fd(fd), m_notifier(new QSocketNotifier(fd, QSocketNotifier::Read, this)) {
    connect(m_notifier, &QSocketNotifier::activated, this, &CRunEventWatch::OnReadable);
}

void CRunEventWatch::OnReadable() {
    // Read only while poll says there is something: the descriptor is the
    // back end's, and may block. One that has ended would wake us for ever.
    char discard[4096];
    for (int round = 0; round < 64; ++round) {
        pollfd pfd{m_fd, POLLIN, 0};
        if (::poll(&pfd, 1, 0) <= 0)
            break;
        if (::read(m_fd, discard, sizeof discard) <= 0) {
            m_notifier->setEnabled(false);
            break;
        }
    }
    emit Changed();
}
