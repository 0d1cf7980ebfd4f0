#include "frmMain/Layout.h"

#include <algorithm>
#include <array>
#include <string>

namespace solne::layout {

namespace {

constexpr std::string_view kColon = "：";

// The part of a control's name after its type prefix ("UserId" for txtUserId).
std::string_view Subject(std::string_view name) { return name.substr(3); }

}  // namespace

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
