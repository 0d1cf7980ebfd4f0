// A load or a save as the user sees it: the busy cursor from its first
// moment, the window answering the system all along, and a small progress
// window once the work has lasted longer than kProgressAfter. The same on
// every toolkit: the toolkit only shows what this decides (Window's
// BeginWork, KeepAnswering, ShowProgress, EndWork).
#pragma once

#include <chrono>
#include <cstddef>
#include <string>

#include "frmMain/Controls.h"

namespace solne {

class LongWork {
public:
    using Clock = std::chrono::steady_clock;
    // Work shorter than this shows the busy cursor only.
    static constexpr std::chrono::milliseconds kProgressAfter{500};
    // How often the window answers the system, and the progress window is
    // brought up to date, while the work runs.
    static constexpr std::chrono::milliseconds kAnswerEvery{50};

    // Begins the work; `doing` heads the progress window ("ファイルを保存しています…").
    // `running` points at it until it ends.
    LongWork(Window& window, std::string doing, LongWork*& running);
    // Ends it.
    ~LongWork();
    LongWork(const LongWork&) = delete;
    LongWork& operator=(const LongWork&) = delete;

    // `done` of `total` files are done.
    void Progress(size_t done, size_t total);

    // A question in the middle of the work: the progress window and the
    // busy cursor make way for the box (Resume brings them back), while
    // frmMain still takes no command.
    void Pause();
    void Resume();

    // The progress window's text: "ファイルを保存しています… 12 / 345".
    static std::string Text(const std::string& doing, size_t done, size_t total);

private:
    Window& window_;
    LongWork*& running_;
    std::string doing_;
    Clock::time_point started_;
    Clock::time_point lastAnswer_;
    bool shown_ = false;
    bool paused_ = false;
};

}  // namespace solne
