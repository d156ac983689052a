#include "cli/interrupt.h"

namespace lumivex {

namespace {

volatile std::sig_atomic_t interruptRequested = 0;

void OnInterrupt(int) {
    interruptRequested = 1;
}

}  // namespace

InterruptWatch::InterruptWatch() {
    interruptRequested = 0;
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
    return interruptRequested != 0;
}

}  // namespace lumivex
