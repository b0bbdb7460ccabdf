// A pass run on a thread of its own while the main thread works on.
#pragma once

#include "base/filesread.h"
#include "diag/heldreports.h"

#include <exception>
#include <functional>

#include <pthread.h>

namespace qvm::driver {

// What the pass reports and the files it reads are held aside; join() gives
// them to the run at the place where the pass stands in it, so that the
// run's lines, counts and outputs are those of a run on one thread. The
// pass must share no other state with the main thread's work.
class PassBeside {
public:
    // Starts the work on a thread of its own. Where no thread can be
    // started, join() does the work itself.
    explicit PassBeside(std::function<void()> work);
    // Waits for the pass; what it held is dropped (the run is ending).
    ~PassBeside();
    PassBeside(const PassBeside&) = delete;
    PassBeside& operator=(const PassBeside&) = delete;

    // Waits for the pass, notes the files it read and reports what it said,
    // in order. A pass that ended the run ends it here.
    void join();

private:
    static void* runOnThread(void* pass);
    void runHeld() noexcept;
    void wait();

    std::function<void()> work_;
    diag::HeldReports reports_;
    base::HeldFilesRead files_;
    std::exception_ptr failure_;
    pthread_t thread_{};
    bool running_ = false;
    bool done_ = false;
};

}  // namespace qvm::driver
