#include "ui/stopsignals.h"

#include "core/logging.h"

#include <QSocketNotifier>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {
constexpr int kStopSignals[] = {SIGTERM, SIGINT};

// [0] read by the notifier on the GUI thread, [1] written by the handler in whichever
// thread the signal lands. Set before the handlers are installed and closed after they
// are removed.
int signalSockets[2] = {-1, -1};

void onStopSignal(int signalNumber)
{
    const int savedErrno = errno;
    const unsigned char byte = static_cast<unsigned char>(signalNumber);
    // Non-blocking: with the pair full a stop is already on its way.
    [[maybe_unused]] const ssize_t written = ::write(signalSockets[1], &byte, 1);
    errno = savedErrno;
}

bool setNonBlockingCloseOnExec(int fd)
{
    const int flags = ::fcntl(fd, F_GETFL);
    return flags >= 0 && ::fcntl(fd, F_SETFL, flags | O_NONBLOCK) == 0 && ::fcntl(fd, F_SETFD, FD_CLOEXEC) == 0;
}
} // namespace

StopSignals::StopSignals(QObject *parent) : QObject(parent)
{
    if (::socketpair(AF_UNIX, SOCK_STREAM, 0, signalSockets) != 0 || !setNonBlockingCloseOnExec(signalSockets[0])
        || !setNonBlockingCloseOnExec(signalSockets[1])) {
        qCWarning(lcUi) << "SIGTERM and SIGINT end the program without its orderly exit: no socket pair:"
                        << std::strerror(errno);
        return;
    }
    m_notifier = new QSocketNotifier(signalSockets[0], QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, &StopSignals::readSignal);

    struct sigaction action = {};
    action.sa_handler = onStopSignal;
    sigemptyset(&action.sa_mask);
    // SA_RESETHAND: a second signal while the orderly exit is under way (a thread that
    // hangs) ends the program at once, as the user asking twice expects.
    action.sa_flags = SA_RESTART | SA_RESETHAND;
    m_installed = true;
    for (int signalNumber : kStopSignals) {
        if (::sigaction(signalNumber, &action, nullptr) != 0) {
            qCWarning(lcUi) << "signal" << signalNumber << "keeps its default action:" << std::strerror(errno);
            m_installed = false;
        }
    }
}

StopSignals::~StopSignals()
{
    for (int signalNumber : kStopSignals)
        std::signal(signalNumber, SIG_DFL);
    delete m_notifier;
    for (int &fd : signalSockets) {
        if (fd >= 0)
            ::close(fd);
        fd = -1;
    }
}

void StopSignals::readSignal()
{
    unsigned char byte = 0;
    if (::read(signalSockets[0], &byte, 1) != 1)
        return;
    qCInfo(lcUi) << "stopping on signal" << int(byte) << "(" << strsignal(byte) << ")";
    emit stopRequested(byte);
}
