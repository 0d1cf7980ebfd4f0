#include "frmMain/LongWork.h"

#include <utility>

namespace solne {

LongWork::LongWork(Window& window, std::string doing, LongWork*& running)
    : window_(window), running_(running), doing_(std::move(doing)), started_(Clock::now()), lastAnswer_(started_) {
    running_ = this;
    window_.BeginWork();
}

LongWork::~LongWork() {
    if (!paused_) window_.EndWork();
    running_ = nullptr;
}

std::string LongWork::Text(const std::string& doing, size_t done, size_t total) {
    return doing + " " + std::to_string(done) + " / " + std::to_string(total);
}

void LongWork::Progress(size_t done, size_t total) {
    if (paused_) return;
    const Clock::time_point now = Clock::now();
    if (now - lastAnswer_ < kAnswerEvery && done < total) return;
    lastAnswer_ = now;
    if (!shown_ && now - started_ >= kProgressAfter) shown_ = true;
    if (shown_) window_.ShowProgress(Text(doing_, done, total), done, total);
    window_.KeepAnswering();
}

void LongWork::Pause() {
    if (paused_) return;
    paused_ = true;
    window_.EndWork();
}

void LongWork::Resume() {
    if (!paused_) return;
    paused_ = false;
    lastAnswer_ = Clock::now();
    window_.BeginWork();
}

}  // namespace solne
