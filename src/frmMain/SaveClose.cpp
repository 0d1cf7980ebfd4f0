// Saving, closing, and the question about unsaved changes.
#include "frmMain/frmMain.h"
#include "store/Save.h"

namespace solne {

void frmMain::cmdSave_Click() { SaveData(); }

// Closing passes Form_Unload, as every other way of closing the window does.
void frmMain::cmdClose_Click() { window_.Close(); }

// Yes saves and closes, but a save that did not write everything keeps the
// window open so the changes are not lost; No closes; Cancel stays. While a
// load or a save runs the window stays, without a question.
void frmMain::Form_Unload(bool& cancel) {
    if (Working()) {  // never in the middle of a load or a save
        cancel = true;
        return;
    }
    if (!DataChanged) return;
    MsgAnswer answer = dialogs_.MsgBox("データが変更されています。保存しますか？", MsgIcon::Warning,
                                       MsgButtons::YesNoCancel, MsgAnswer::Yes, kAppTitle);
    if (answer == MsgAnswer::Yes) {
        if (!SaveData()) cancel = true;
    } else if (answer != MsgAnswer::No) {
        cancel = true;
    }
}

// Another administrator, a script or a second editor may have changed the
// data files, or the display names in the per-user files, since they were
// loaded: ask before overwriting them. The save found them (`changed`) in
// its look before writing. Per-user files are listed up to ten, then counted.
bool frmMain::OverwriteConfirmed(const std::vector<std::string>& changed) {
    constexpr size_t kListedPerUserFiles = 10;
    if (changed.empty()) return true;
    std::string text = "次のファイルが、読み込んだ後に他のプログラムによって変更されています。\r\n";
    const std::string inUserFolder = JoinPath("user", "");
    size_t perUser = 0;
    for (const std::string& name : changed) {
        if (name.starts_with(inUserFolder) && ++perUser > kListedPerUserFiles) continue;
        text += name + "\r\n";
    }
    if (perUser > kListedPerUserFiles) text += "ほか " + std::to_string(perUser - kListedPerUserFiles) + " 件\r\n";
    text += "\r\n上書きして保存しますか？";
    if (work_) work_->Pause();
    const bool yes =
        dialogs_.MsgBox(text, MsgIcon::Warning, MsgButtons::YesNo, MsgAnswer::No, kAppTitle) == MsgAnswer::Yes;
    if (work_) work_->Resume();
    return yes;
}

bool frmMain::SaveData() {
    // Values that cannot be written are reported before anything is asked.
    SaveReport report;
    {
        LongWork work(window_, "ファイルを保存しています…", work_);
        report = SaveBoard(fs_, paths_, Users, Groups, &userSnapshot_, &groupSnapshot_,
                           [this](const std::vector<std::string>& changed) { return OverwriteConfirmed(changed); },
                           [&work](size_t done, size_t total) { work.Progress(done, total); });
    }
    if (report.cancelled) return false;
    // Journals that were not trusted were not used; the message names them.
    const std::string journals = JournalFindingsText(report.ignoredJournals);
    if (!report.ok()) {
        std::string text = "データの保存に失敗しました。";
        for (const Failure& failure : report.failures) text += "\r\n" + failure.ToString();
        if (!journals.empty()) text += "\r\n\r\n" + journals;
        Warn(text);
        return false;
    }
    if (journals.empty())
        dialogs_.MsgBox("データの保存が完了しました。", MsgIcon::Information, MsgButtons::Ok, MsgAnswer::Ok,
                        kAppTitle);
    else
        Warn("データの保存が完了しました。\r\n\r\n" + journals);
    DataChanged = false;
    return true;
}

}  // namespace solne
