#include "frmMain/Layout.h"

#include <algorithm>
#include <array>
#include <string>

#include "frmMain/frmMain.h"

namespace solne::layout {

namespace {

constexpr std::string_view kColon = "：";

// The part of a control's name after its type prefix ("UserId" for txtUserId).
std::string_view Subject(std::string_view name) { return name.substr(3); }

struct Handler {
    std::string_view control;
    void (frmMain::*run)();
};

// Control name -> handler of its event.
constexpr Handler kHandlers[] = {
    {"cmdUserAdd", &frmMain::cmdUserAdd_Click},
    {"cmdUserUp", &frmMain::cmdUserUp_Click},
    {"cmdUserDelete", &frmMain::cmdUserDelete_Click},
    {"lsvUserList", &frmMain::lsvUserList_ItemClick},
    {"cmdGroupAdd", &frmMain::cmdGroupAdd_Click},
    {"cmdGroupUp", &frmMain::cmdGroupUp_Click},
    {"cmdGroupDelete", &frmMain::cmdGroupDelete_Click},
    {"lsvGroupList", &frmMain::lsvGroupList_ItemClick},
    {"cmdGroupSet", &frmMain::cmdGroupSet_Click},
    {"cmdGroupCancel", &frmMain::cmdGroupCancel_Click},
    {"cmdSave", &frmMain::cmdSave_Click},
    {"cmdClose", &frmMain::cmdClose_Click},
};

constexpr bool Raises(const Control& c) { return c.kind == Kind::Button || c.kind == Kind::ListView; }

// Every button and list has exactly one handler, and every handler a
// button or list of the layout.
constexpr bool HandlersMatchTheLayout() {
    for (const Control& c : kControls) {
        int found = 0;
        for (const Handler& h : kHandlers) found += h.control == c.name;
        if (found != (Raises(c) ? 1 : 0)) return false;
    }
    for (const Handler& h : kHandlers) {
        bool known = false;
        for (const Control& c : kControls) known = known || (h.control == c.name && Raises(c));
        if (!known) return false;
    }
    return true;
}
static_assert(HandlersMatchTheLayout(), "each button and list of kControls needs one entry in kHandlers");

}  // namespace

bool Raise(frmMain& form, std::string_view control) {
    if (form.Working()) return false;
    for (const Handler& h : kHandlers)
        if (h.control == control) {
            (form.*h.run)();
            return true;
        }
    return false;
}

const Control* Find(std::string_view name) {
    for (const Control& c : kControls)
        if (name == c.name) return &c;
    return nullptr;
}

const Control* LabelOf(const Control& control) {
    if (control.kind != Kind::TextBox && control.kind != Kind::ListView) return nullptr;
    for (const Control& c : kControls)
        if (c.kind == Kind::Label && Subject(c.name) == Subject(control.name)) return &c;
    return nullptr;
}

std::string_view AccessibleName(const Control& control) {
    const Control* label = LabelOf(control);
    if (!label) return {};
    std::string_view text = label->caption;
    if (text.ends_with(kColon)) text.remove_suffix(kColon.size());
    return text;
}

std::span<const Control* const> TabOrder() {
    static const auto order = [] {
        std::array<const Control*, std::size(kControls)> all{};
        size_t n = 0;
        for (const Control& c : kControls)
            if (c.tabOrder > 0) all[n++] = &c;
        std::sort(all.begin(), all.begin() + long(n),
                  [](const Control* a, const Control* b) { return a->tabOrder < b->tabOrder; });
        return std::pair{all, n};
    }();
    return {order.first.data(), order.second};
}

}  // namespace solne::layout
