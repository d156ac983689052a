#include "cli/interrupt.h"

namespace lumivex {

namespace {

// A lock-free atomic, so that the handler may set it and any thread may read it.
std::atomic<bool> interruptRequested{false};
static_assert(std::atomic<bool>::is_always_lock_free);

void OnInterrupt(int) {
    interruptRequested.store(true, std::memory_order_relaxed);
}

}  // namespace

InterruptWatch::InterruptWatch() {
    interruptRequested.store(false);
    struct sigaction action {};
    action.sa_handler = OnInterrupt;
    sigemptyset(&action.sa_mask);
    // Restart interrupted system calls, so that file reads and writes carry on normally and
    // the flag is acted on at the next poll.
    action.sa_flags = SA_RESTART;
    sigaction(SIGINT, &action, &previousInterrupt);
    sigaction(SIGTERM, &action, &previousTerminate);
}

InterruptWatch::~InterruptWatch() {
    sigaction(SIGINT, &previousInterrupt, nullptr);
    sigaction(SIGTERM, &previousTerminate, nullptr);
}

bool InterruptWatch::Requested() const {
    return interruptRequested.load(std::memory_order_relaxed);
}

const std::atomic<bool>& InterruptWatch::Flag() {
    return interruptRequested;
}

}  // namespace lumivex
