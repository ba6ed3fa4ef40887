#include "tables/pending_outputs.h"

#include <atomic>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <pthread.h>
#include <mutex>
#include <unistd.h>

namespace {

// Fixed storage, so the signal handler reads it without allocating or
// locking. A run has a handful of outputs open at once.
constexpr int kSlots = 64;
constexpr std::size_t kLongestPath = 4096;

struct Slot {
    std::atomic<bool> used{false};
    char path[kLongestPath];
};

Slot g_slots[kSlots];
std::once_flag g_handlers_installed;
std::mutex g_taking;

void remove_all_pending()
{
    for (Slot& slot : g_slots)
        if (slot.used.exchange(false)) ::unlink(slot.path);
}

extern "C" void remove_pending_and_end(int signal_number)
{
    remove_all_pending();
    // The default action then ends the process as the signal would have.
    std::signal(signal_number, SIG_DFL);
    std::raise(signal_number);
}

void install_handlers()
{
    std::atexit(remove_all_pending);
    for (int signal_number : {SIGINT, SIGTERM, SIGHUP, SIGPIPE}) {
        struct sigaction current;
        // A signal the caller ignores (nohup's SIGHUP) stays ignored.
        if (::sigaction(signal_number, nullptr, &current) != 0 || current.sa_handler != SIG_DFL) continue;
        struct sigaction action {};
        action.sa_handler = remove_pending_and_end;
        sigemptyset(&action.sa_mask);
        ::sigaction(signal_number, &action, nullptr);
    }
}

int hold_path(const std::string& path)
{
    if (path.size() >= kLongestPath) return -1;
    std::lock_guard<std::mutex> hold(g_taking);
    for (int i = 0; i < kSlots; ++i) {
        Slot& slot = g_slots[i];
        if (slot.used.load()) continue;
        // The path is in place before the slot shows as used.
        std::memcpy(slot.path, path.c_str(), path.size() + 1);
        slot.used.store(true);
        return i;
    }
    return -1;
}

} // namespace

int create_pending_output(std::string& path, int& slot)
{
    std::call_once(g_handlers_installed, install_handlers);
    sigset_t all, previous;
    sigfillset(&all);
    ::pthread_sigmask(SIG_BLOCK, &all, &previous);
    const int fd = ::mkostemp(path.data(), O_CLOEXEC);
    slot = fd >= 0 ? hold_path(path) : -1;
    ::pthread_sigmask(SIG_SETMASK, &previous, nullptr);
    return fd;
}

void release_pending_output(int slot)
{
    if (slot >= 0 && slot < kSlots) g_slots[slot].used.store(false);
}
