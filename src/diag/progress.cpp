// The progress line of a long run on a terminal.
#include "diag/progress.h"

#include "diag/i18nerrgest.h"
#include "diag/i18nutil.h"

#include <unistd.h>

#include <condition_variable>
#include <cstdio>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

namespace qvm::diag {

namespace {

using Clock = std::chrono::steady_clock;

// The line and the thread that draws it once the delay has passed and then
// each second, with the time the run has taken. The run's own thread names
// the passes and pauses the line around console text.
class ProgressLine {
public:
    explicit ProgressLine(std::chrono::milliseconds delay)
        : start_(Clock::now()), delay_(delay), drawer_([this] { drawWhileRunning(); })
    {
    }

    ProgressLine(const ProgressLine&) = delete;
    ProgressLine& operator=(const ProgressLine&) = delete;

    ~ProgressLine()
    {
        {
            const std::lock_guard lock(mutex_);
            stopping_ = true;
        }
        wake_.notify_all();
        drawer_.join();
        clear();
    }

    void setPass(std::string pass)
    {
        const std::lock_guard lock(mutex_);
        pass_ = std::move(pass);
        if (width_ > 0) {
            draw();
        }
    }

    void pause()
    {
        mutex_.lock();
        paused_ = width_ > 0;
        clear();
    }

    void resume()
    {
        if (paused_) {
            draw();
        }
        mutex_.unlock();
    }

private:
    void drawWhileRunning()
    {
        std::unique_lock lock(mutex_);
        Clock::time_point next = start_ + delay_;
        while (!wake_.wait_until(lock, next, [this] { return stopping_; })) {
            draw();
            next += std::chrono::seconds(1);
        }
    }

    // Both with the mutex held.
    void draw()
    {
        const auto seconds = std::chrono::duration_cast<std::chrono::seconds>(Clock::now() - start_).count();
        std::string text = "qvmprepro: " + pass_ + " (" + std::to_string(seconds) + " s)";
        // Blanks over what is left of a longer line drawn before.
        const std::size_t width = text.size();
        if (width < width_) {
            text.append(width_ - width, ' ');
        }
        put("\r" + text + "\r");
        width_ = width;
    }

    void clear()
    {
        if (width_ > 0) {
            put("\r" + std::string(width_, ' ') + "\r");
            width_ = 0;
        }
    }

    static void put(const std::string& text)
    {
        std::fwrite(text.data(), 1, text.size(), stderr);
        std::fflush(stderr);
    }

    const Clock::time_point start_;
    const std::chrono::milliseconds delay_;
    std::mutex mutex_;
    std::condition_variable wake_;
    bool stopping_ = false;
    bool paused_ = false;     // the line was on the screen when paused
    std::string pass_;
    std::size_t width_ = 0;   // length of the text on the screen, 0 when none
    std::thread drawer_;      // last: started once everything above is ready
};

std::unique_ptr<ProgressLine>& activeLine()
{
    static std::unique_ptr<ProgressLine> line;
    return line;
}

}  // namespace

void startProgress(std::chrono::milliseconds delay)
{
    stopProgress();
    if (::isatty(STDERR_FILENO) == 1 && consoleEchoOn() && !consoleCaptured()) {
        activeLine() = std::make_unique<ProgressLine>(delay);
    }
}

void progressPass(const char* pass)
{
    if (activeLine()) {
        activeLine()->setPass(trLocal("Progress", pass));
    }
}

void stopProgress()
{
    activeLine().reset();
}

ProgressPause::ProgressPause()
{
    if (activeLine()) {
        activeLine()->pause();
        held_ = true;
    }
}

ProgressPause::~ProgressPause()
{
    if (held_ && activeLine()) {
        activeLine()->resume();
    }
}

}  // namespace qvm::diag
