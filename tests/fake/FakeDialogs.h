// A scripted stand-in for the message boxes and the folder chooser: records
// every box and answers from queues.
#pragma once

#include <deque>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "frmMain/Dialogs.h"

namespace solne::test {

struct ShownBox {
    std::string text;
    MsgIcon icon;
    MsgButtons buttons;
    MsgAnswer defaultButton;
    std::string caption;
};

class FakeDialogs : public Dialogs {
public:
    // Answers for the Yes/No and Yes/No/Cancel boxes, in order; an OK box
    // takes none. A question with no answer queued fails the test.
    std::deque<MsgAnswer> answers;
    // Folders the chooser returns, in order; nullopt is a cancel. An empty
    // queue cancels.
    std::deque<std::optional<std::string>> folders;

    std::vector<ShownBox> boxes;
    int chooserCalls = 0;
    // Run as each box is shown, before it is answered.
    std::function<void()> onBox;

    MsgAnswer MsgBox(const std::string& text, MsgIcon icon, MsgButtons buttons,
                     MsgAnswer defaultButton, const std::string& caption) override {
        boxes.push_back({text, icon, buttons, defaultButton, caption});
        if (onBox) onBox();
        if (buttons == MsgButtons::Ok) return MsgAnswer::Ok;
        if (answers.empty()) {
            unanswered = true;
            return MsgAnswer::Cancel;
        }
        MsgAnswer answer = answers.front();
        answers.pop_front();
        return answer;
    }

    std::optional<std::string> ChooseFolder() override {
        ++chooserCalls;
        if (folders.empty()) return std::nullopt;
        std::optional<std::string> folder = folders.front();
        folders.pop_front();
        return folder;
    }

    // Texts of the boxes shown so far.
    std::vector<std::string> Texts() const {
        std::vector<std::string> texts;
        for (const ShownBox& box : boxes) texts.push_back(box.text);
        return texts;
    }

    bool unanswered = false;  // a question came with no answer queued
};

}  // namespace solne::test
