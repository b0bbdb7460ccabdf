// The progress line: on a terminal, a run that lasts more than a second
// shows which pass is running on one line of the standard error stream that
// rewrites itself. It is never written to the list file, and diagnostics
// never share a line with it: it is cleared before each of them and drawn
// again below.
#pragma once

#include <chrono>

namespace qvm::diag {

// Starts the line for this run. Nothing is ever shown when the standard error
// stream is not a terminal, when the console echo is off, or when tests
// capture the console.
void startProgress(std::chrono::milliseconds delay = std::chrono::seconds(1));

// Names the pass now running (an English text, translated in the context
// "Progress").
void progressPass(const char* pass);

// Clears the line and ends it; the end of every run calls this.
void stopProgress();

// While one exists, the line is off the screen, so that console text
// written meanwhile starts at the left margin; it is drawn again afterwards.
class ProgressPause {
public:
    ProgressPause();
    ~ProgressPause();
    ProgressPause(const ProgressPause&) = delete;
    ProgressPause& operator=(const ProgressPause&) = delete;

private:
    bool held_ = false;
};

}  // namespace qvm::diag
