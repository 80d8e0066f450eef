// Signals on POSIX systems. No handler runs: the signals are blocked in
// every thread and one thread of our own takes them with sigwait, so what it
// does on a signal is ordinary code.
#include "cli/Signals.h"

#include <fcntl.h>
#include <pthread.h>
#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <system_error>
#include <thread>

#include "app/AppState.h"
#include "platform/Platform.h"
#include "render/Worker.h"

namespace {

std::atomic<int> stopSignal{0};
std::atomic<bool> keepWork{false};
// Signals the watch has acted on, for the test points.
std::atomic<uint32_t> signalsTaken{0};

sigset_t WatchedSignals()
{
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, SIGHUP);
    sigaddset(&set, SIGINT);
    sigaddset(&set, SIGTERM);
    return set;
}

// Ends the program by the signal itself, so that the caller sees what ended
// it, after removing the temporary files.
[[noreturn]] void EndAtOnce(int signal)
{
    AbandonFileWrites();
    std::signal(signal, SIG_DFL);
    sigset_t one;
    sigemptyset(&one);
    sigaddset(&one, signal);
    pthread_sigmask(SIG_UNBLOCK, &one, nullptr);
    raise(signal);
    _exit(128 + signal);
}

void Watch()
{
    const sigset_t set = WatchedSignals();
    for (;;) {
        int signal = 0;
        if (sigwait(&set, &signal) != 0) continue;
        int none = 0;
        if (!keepWork.load() || !stopSignal.compare_exchange_strong(none, signal)) EndAtOnce(signal);
        std::fprintf(stderr, "halovane-render: %s: stopping, the image so far will be written (a second signal ends at once)\n",
                     SignalName(signal));
        std::fflush(stderr);
        StopRender();
        app.continuous = false;
        app.quitRequested = true;
        signalsTaken.fetch_add(1);
    }
}

int SignalNumber(const std::string& name)
{
    if (name == "HUP") return SIGHUP;
    if (name == "INT") return SIGINT;
    if (name == "TERM") return SIGTERM;
    return 0;
}

void SaveTestPoint() { SignalTestPoint("save"); }

}  // namespace

void GuardStandardFiles()
{
    for (int fd = 0; fd <= 2; ++fd) {
        if (fcntl(fd, F_GETFD) != -1 || errno != EBADF) continue;
        // The lowest free descriptor: fd itself, as the lower ones are open.
        const int null = open("/dev/null", fd == 0 ? O_RDONLY : O_WRONLY);
        if (null >= 0 && null != fd) {
            dup2(null, fd);
            close(null);
        }
    }
}

void StartSignalWatch()
{
    const sigset_t set = WatchedSignals();
    pthread_sigmask(SIG_BLOCK, &set, nullptr);
    try {
        std::thread(Watch).detach();
    } catch (const std::system_error&) {
        // No thread to take them: the signals keep their usual effect.
        pthread_sigmask(SIG_UNBLOCK, &set, nullptr);
        return;
    }
    const char* plan = std::getenv("HALOVANE_TEST_SIGNALS");
    if (plan && std::strncmp(plan, "save:", 5) == 0) SetTemporaryFileHook(SaveTestPoint);
}

void KeepWorkOnSignal() { keepWork = true; }

int StopSignal() { return stopSignal.load(); }

const char* SignalName(int signal)
{
    switch (signal) {
    case SIGHUP: return "SIGHUP";
    case SIGINT: return "SIGINT";
    case SIGTERM: return "SIGTERM";
    default: return "a signal";
    }
}

void SignalTestPoint(const std::string& point)
{
    static std::atomic<bool> fired{false};
    const char* plan = std::getenv("HALOVANE_TEST_SIGNALS");
    if (!plan) return;
    const std::string text = plan;
    const size_t colon = text.find(':');
    if (colon == std::string::npos || text.compare(0, colon, point) != 0 || fired.exchange(true)) return;
    for (size_t at = colon + 1; at <= text.size();) {
        size_t comma = text.find(',', at);
        if (comma == std::string::npos) comma = text.size();
        const int signal = SignalNumber(text.substr(at, comma - at));
        at = comma + 1;
        if (signal == 0) continue;
        const uint32_t before = signalsTaken.load();
        kill(getpid(), signal);
        while (signalsTaken.load() == before) std::this_thread::yield();
    }
}
