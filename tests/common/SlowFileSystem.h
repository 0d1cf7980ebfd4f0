// A file system for tests that forwards to the real one (through
// FaultyFileSystem, which records every call) and waits a while on each
// file it opens or creates, as a slow network share does: for the window's
// feedback while a load or a save runs. `onCall`, when set, runs before each call it
// slows, so a test can act in the middle of the work.
#pragma once

#include <chrono>
#include <functional>
#include <thread>

#include "common/FaultyFileSystem.h"

namespace solne::test {

class SlowFileSystem : public FaultyFileSystem {
public:
    explicit SlowFileSystem(std::chrono::microseconds perCall) : perCall(perCall) {}

    std::chrono::microseconds perCall;  // the wait on each open and create
    std::function<void()> onCall;

    int OpenAt(Handle dir, const std::string& name, bool forWriting, Handle& file,
               FileStat* st = nullptr) override {
        Wait();
        return FaultyFileSystem::OpenAt(dir, name, forWriting, file, st);
    }
    int CreateAt(Handle dir, const std::string& name, FileMode mode, Handle& file) override {
        Wait();
        return FaultyFileSystem::CreateAt(dir, name, mode, file);
    }

private:
    void Wait() {
        if (onCall) onCall();
        if (perCall.count() > 0) std::this_thread::sleep_for(perCall);
    }
};

}  // namespace solne::test
