// A pass run on a thread of its own while the main thread works on.
#include "driver/passbeside.h"

#include <algorithm>
#include <cstddef>
#include <utility>

#include <sys/resource.h>

namespace qvm::driver {

namespace {

// The pass gets the stack the main thread may grow to (address space only:
// pages are taken as they are reached).
std::size_t mainStackBytes()
{
    constexpr std::size_t kFallback = std::size_t{64} << 20;
    constexpr std::size_t kLeast = std::size_t{8} << 20;
    rlimit limit{};
    if (::getrlimit(RLIMIT_STACK, &limit) != 0 || limit.rlim_cur == RLIM_INFINITY) {
        return kFallback;
    }
    return std::max<std::size_t>(limit.rlim_cur, kLeast);
}

}  // namespace

PassBeside::PassBeside(std::function<void()> work) : work_(std::move(work))
{
    pthread_attr_t attributes;
    pthread_attr_init(&attributes);
    running_ = pthread_attr_setstacksize(&attributes, mainStackBytes()) == 0 &&
               pthread_create(&thread_, &attributes, runOnThread, this) == 0;
    pthread_attr_destroy(&attributes);
}

PassBeside::~PassBeside()
{
    wait();
}

void* PassBeside::runOnThread(void* pass)
{
    static_cast<PassBeside*>(pass)->runHeld();
    return nullptr;
}

void PassBeside::runHeld() noexcept
{
    const diag::HeldReports::Scope holdReports(reports_);
    const base::HeldFilesRead::Scope holdFiles(files_);
    try {
        work_();
    } catch (...) {
        failure_ = std::current_exception();
    }
    done_ = true;
}

void PassBeside::wait()
{
    if (running_) {
        pthread_join(thread_, nullptr);
        running_ = false;
    }
}

void PassBeside::join()
{
    wait();
    if (!done_) {
        runHeld();
    }
    files_.note();
    reports_.replay();
    if (failure_) {
        std::rethrow_exception(failure_);
    }
}

}  // namespace qvm::driver
