#include "platform/termsignal.h"

#include <QCoreApplication>
#include <QSocketNotifier>

#include <csignal>
#include <fcntl.h>
#include <unistd.h>

namespace {

int wakeFd = -1;

// Only what is safe in a signal handler: one write to a pipe the event loop
// watches.
extern "C" void OnTerminationSignal(int)
{
    const char byte = 1;
    [[maybe_unused]] const ssize_t n = ::write(wakeFd, &byte, 1);
}

}  // namespace

void QuitOnTerminationSignals(QCoreApplication& app)
{
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC | O_NONBLOCK) != 0)
        return;
    wakeFd = fds[1];
    auto* notifier = new QSocketNotifier(fds[0], QSocketNotifier::Read, &app);
    QObject::connect(notifier, &QSocketNotifier::activated, &app, [fd = fds[0]] {
        char buffer[16];
        while (::read(fd, buffer, sizeof buffer) > 0) {
        }
        QCoreApplication::quit();
    });
    struct sigaction action {};
    action.sa_handler = OnTerminationSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    ::sigaction(SIGTERM, &action, nullptr);
    ::sigaction(SIGINT, &action, nullptr);
}
