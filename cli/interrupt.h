// Ctrl+C and SIGTERM as a request to stop, polled by the thread that runs the render.
#pragma once

#include <atomic>
#include <csignal>

namespace lumivex {

// While one exists, SIGINT and SIGTERM only set a flag that Requested() reports; the handlers
// in place before are restored when it is destroyed. The handler does nothing else, as little
// else is safe inside one; stopping the render is the polling thread's job. One at a time.
class InterruptWatch {
  public:
    InterruptWatch();
    InterruptWatch(const InterruptWatch&) = delete;
    InterruptWatch& operator=(const InterruptWatch&) = delete;
    ~InterruptWatch();

    // True once either signal has arrived since construction.
    bool Requested() const;
    // The flag itself, for work that polls it directly (reading, loading, indexing).
    static const std::atomic<bool>& Flag();

  private:
    struct sigaction previousInterrupt {};
    struct sigaction previousTerminate {};
};

}  // namespace lumivex
