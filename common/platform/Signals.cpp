#include "Signals.h"

#include <csignal>
#include <signal.h>

namespace nosk {
namespace {

std::atomic<int> g_pending{0};
std::atomic<int> g_first{0};
std::atomic<bool> g_received{false};
std::vector<std::pair<int, struct sigaction>> g_previous;

extern "C" void onSignal(int sig)
{
    int none = 0;
    g_first.compare_exchange_strong(none, sig);
    g_pending = sig;
    g_received = true;
}

} // namespace

SignalCatcher::SignalCatcher(std::initializer_list<int> caught)
{
    g_pending = 0;
    g_first = 0;
    g_received = false;
    struct sigaction action {};
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    sigset_t held;
    sigemptyset(&held);
    for (int sig : caught) {
        struct sigaction old {};
        if (::sigaction(sig, &action, &old) == 0)
            g_previous.emplace_back(sig, old);
        sigaddset(&held, sig);
    }
    // A signal held back until now (noskrun --run holds them from its first
    // instruction) is delivered here, to the handler.
    ::sigprocmask(SIG_UNBLOCK, &held, nullptr);
}

SignalCatcher::~SignalCatcher()
{
    for (const auto& [sig, old] : g_previous)
        ::sigaction(sig, &old, nullptr);
    g_previous.clear();
}

int SignalCatcher::take() const
{
    return g_pending.exchange(0);
}

int SignalCatcher::first() const
{
    return g_first;
}

const std::atomic<bool>& SignalCatcher::received() const
{
    return g_received;
}

void ignoreFileSizeSignal()
{
    std::signal(SIGXFSZ, SIG_IGN);
}

} // namespace nosk
