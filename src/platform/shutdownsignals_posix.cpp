#include "platform/shutdownsignals.h"

#include <QObject>
#include <QSocketNotifier>

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <sys/socket.h>
#include <unistd.h>

namespace Platform {

namespace {

// The handler may only write a byte; the event loop does the rest.
int wakeFds[2] = {-1, -1};

void onSignal(int)
{
    const int savedErrno = errno;
    const char byte = 1;
    [[maybe_unused]] const ssize_t written = ::write(wakeFds[1], &byte, 1);
    errno = savedErrno;
}

bool installHandlers()
{
    static const bool installed = [] {
        if (::socketpair(AF_UNIX, SOCK_STREAM, 0, wakeFds) != 0)
            return false;
        // Non-blocking: a full buffer drops a byte instead of hanging the handler; not inherited
        // by the helper programs the feed starts.
        for (const int fd : wakeFds) {
            ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) | O_NONBLOCK);
            ::fcntl(fd, F_SETFD, FD_CLOEXEC);
        }
        struct sigaction action = {};
        action.sa_handler = onSignal;
        sigemptyset(&action.sa_mask);
        action.sa_flags = SA_RESTART;
        ::sigaction(SIGTERM, &action, nullptr);
        ::sigaction(SIGINT, &action, nullptr);
        return true;
    }();
    return installed;
}

}

void watchShutdownSignals(QObject *owner, std::function<void()> onRequest)
{
    if (!installHandlers())
        return;
    auto *notifier = new QSocketNotifier(wakeFds[0], QSocketNotifier::Read, owner);
    QObject::connect(notifier, &QSocketNotifier::activated, owner, [onRequest = std::move(onRequest)] {
        char buffer[64];
        while (::read(wakeFds[0], buffer, sizeof buffer) > 0) {
        }
        onRequest();
    });
}

}
