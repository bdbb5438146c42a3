#include "shell/signal_closer.h"

#include <csignal>

#include <fcntl.h>
#include <unistd.h>

namespace tovrel::shell {
namespace {

int gPipe[2] = {-1, -1};
constexpr int kSignals[] = {SIGTERM, SIGINT, SIGHUP};

void onSignalHandler(int) {
    const char byte = 1;
    [[maybe_unused]] ssize_t written = ::write(gPipe[1], &byte, 1);
}

}  // namespace

SignalCloser::SignalCloser(std::function<void()> close, QObject* parent)
    : QObject(parent), close_(std::move(close)) {
    if (gPipe[0] < 0 && ::pipe2(gPipe, O_CLOEXEC | O_NONBLOCK) != 0) return;
    notifier_ = new QSocketNotifier(gPipe[0], QSocketNotifier::Read, this);
    connect(notifier_, &QSocketNotifier::activated, this, &SignalCloser::onSignal);
    struct sigaction action {};
    action.sa_handler = onSignalHandler;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (int signal : kSignals) ::sigaction(signal, &action, nullptr);
}

SignalCloser::~SignalCloser() {
    struct sigaction action {};
    action.sa_handler = SIG_DFL;
    sigemptyset(&action.sa_mask);
    for (int signal : kSignals) ::sigaction(signal, &action, nullptr);
}

void SignalCloser::onSignal() {
    char bytes[16];
    while (::read(gPipe[0], bytes, sizeof bytes) > 0) {
    }
    if (close_) close_();
}

}  // namespace tovrel::shell
