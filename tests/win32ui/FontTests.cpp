// The controls' font against the layout's fixed sizes: with message fonts of
// different heights (the CJK fonts installed for Wine) at 96, 120 and 144
// DPI, every caption, box text and list row shows whole, and the platform's
// font is kept wherever it fits. Also the manifest's execution level.
#include <gtest/gtest.h>

#include <cstdio>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include <windows.h>
#include <commctrl.h>

#include "frmMain/Dialogs.h"
#include "frmMain/Layout.h"
#include "win32/Win32Controls.h"
#include "win32/Win32Font.h"
#include "win32/Win32Form.h"

namespace solne {
namespace {

// Japanese faces Debian's font packages bring (scripts/install-deps
// --windows): the cells of their 9-point sizes differ.
const wchar_t* const kFaces[] = {L"IPAGothic", L"VL Gothic", L"Noto Sans CJK JP"};

int CALLBACK NoteFound(const LOGFONTW*, const TEXTMETRICW*, DWORD, LPARAM found) {
    *reinterpret_cast<bool*>(found) = true;
    return 0;
}

bool FaceInstalled(const wchar_t* face) {
    LOGFONTW want{};
    want.lfCharSet = DEFAULT_CHARSET;
    lstrcpynW(want.lfFaceName, face, LF_FACESIZE);
    bool found = false;
    HDC dc = GetDC(nullptr);
    EnumFontFamiliesExW(dc, &want, NoteFound, LPARAM(&found), 0);
    ReleaseDC(nullptr, dc);
    return found;
}

TEXTMETRICW MetricsOf(HWND control) {
    HDC dc = GetDC(control);
    HGDIOBJ old = SelectObject(dc, HGDIOBJ(SendMessageW(control, WM_GETFONT, 0, 0)));
    TEXTMETRICW tm{};
    GetTextMetricsW(dc, &tm);
    SelectObject(dc, old);
    ReleaseDC(control, dc);
    return tm;
}

int InkIn(HWND control, const std::wstring& text) {
    HDC dc = GetDC(control);
    HGDIOBJ old = SelectObject(dc, HGDIOBJ(SendMessageW(control, WM_GETFONT, 0, 0)));
    const int width = win32::InkWidth(dc, text);
    SelectObject(dc, old);
    ReleaseDC(control, dc);
    return width;
}

std::wstring FaceOf(HWND control) {
    LOGFONTW font{};
    GetObjectW(HGDIOBJ(SendMessageW(control, WM_GETFONT, 0, 0)), sizeof font, &font);
    return font.lfFaceName;
}

// Every control of the window shows its text whole: captions within their
// controls (a button's frame left free), one text line within each text
// box, list rows and headers as high as the text.
void ExpectEverythingWhole(win32::Form& form) {
    for (const layout::Control& c : layout::kControls) {
        SCOPED_TRACE(c.name);
        HWND hwnd = form.ControlHandle(c.name);
        RECT client{};
        GetClientRect(hwnd, &client);
        const TEXTMETRICW tm = MetricsOf(hwnd);
        const int frameX = MulDiv(3, form.Dpi(), 96), frameY = MulDiv(2, form.Dpi(), 96);
        std::wstring caption = win32::WideText(win32::WindowText(hwnd));
        std::vector<std::wstring> lines;
        for (size_t start = 0;;) {
            size_t end = caption.find(L"\r\n", start);
            lines.push_back(caption.substr(start, end - start));
            if (end == std::wstring::npos) break;
            start = end + 2;
        }
        switch (c.kind) {
        case layout::Kind::Label:
            EXPECT_LE(InkIn(hwnd, caption), client.right);
            EXPECT_LE(tm.tmHeight, client.bottom);
            break;
        case layout::Kind::Button:
            for (const std::wstring& line : lines) EXPECT_LE(InkIn(hwnd, line), client.right - 2 * frameX);
            EXPECT_LE(int(lines.size()) * tm.tmHeight, client.bottom - 2 * frameY);
            break;
        case layout::Kind::TextBox: {
            EXPECT_LE(tm.tmHeight, client.bottom);
            RECT format{};
            SendMessageW(hwnd, EM_GETRECT, 0, LPARAM(&format));
            EXPECT_GE(format.top, 0);
            EXPECT_LE(format.top + tm.tmHeight, client.bottom) << "the line runs below the box";
            break;
        }
        case layout::Kind::ListView: {
            RECT row{};
            row.left = LVIR_BOUNDS;
            ASSERT_TRUE(SendMessageW(hwnd, LVM_GETITEMRECT, 0, LPARAM(&row)));
            EXPECT_GE(row.bottom - row.top, tm.tmHeight);
            RECT header{};
            GetClientRect(HWND(SendMessageW(hwnd, LVM_GETHEADER, 0, 0)), &header);
            EXPECT_GE(header.bottom, tm.tmHeight);
            break;
        }
        }
    }
}

class FontTest : public testing::Test {
protected:
    void SetUp() override {
        INITCOMMONCONTROLSEX icc{sizeof icc, ICC_STANDARD_CLASSES | ICC_LISTVIEW_CLASSES};
        InitCommonControlsEx(&icc);
    }

    // A window whose system message font is `face` at 9 pt, with a row in
    // each list, moved to `dpi` as when dragged to another monitor.
    std::unique_ptr<win32::Form> Open(const wchar_t* face, int dpi, FormControls*& controls) {
        LOGFONTW message = win32::SystemMessageFont();
        const int systemDpi = [] {
            HDC dc = GetDC(nullptr);
            int d = GetDeviceCaps(dc, LOGPIXELSY);
            ReleaseDC(nullptr, dc);
            return d;
        }();
        message.lfHeight = -MulDiv(9, systemDpi, 72);
        lstrcpynW(message.lfFaceName, face, LF_FACESIZE);
        auto form = std::make_unique<win32::Form>(GetModuleHandleW(nullptr), message);
        controls_.emplace(form->Controls(dialogs_));
        controls = &*controls_;
        for (const layout::Column& column : layout::kColumns)
            (std::string_view(column.list) == "lsvUserList" ? controls->lsvUserList : controls->lsvGroupList)
                .AddColumn(column.header, column.widthTwips);
        controls->lsvUserList.SetRows({{{"佐藤 花子", "sato", "営業部"}, 0}});
        controls->lsvGroupList.SetRows({{{"営業部", "", ""}, 0}});
        controls->txtUserName.SetText("髙橋 gjpqy");
        RECT r{0, 0, MulDiv(layout::kClientArea.width, dpi, 1440), MulDiv(layout::kClientArea.height, dpi, 1440)};
        SendMessageW(form->Handle(), WM_DPICHANGED, MAKEWPARAM(dpi, dpi), LPARAM(&r));
        form->Show();
        form->DispatchPending();
        return form;
    }

    class NoDialogs final : public Dialogs {
    public:
        MsgAnswer MsgBox(const std::string&, MsgIcon, MsgButtons, MsgAnswer, const std::string&) override {
            return MsgAnswer::Ok;
        }
        std::optional<std::string> ChooseFolder() override { return std::nullopt; }
    } dialogs_;
    std::optional<FormControls> controls_;
};

TEST_F(FontTest, EveryTextShowsWholeWithTallAndLowFontsAtEachDpi) {
    std::set<int> cells;  // of the message fonts at 96 DPI
    int tried = 0;
    for (const wchar_t* face : kFaces) {
        if (!FaceInstalled(face)) {
            std::printf("font %ls: not installed\n", face);
            continue;
        }
        ++tried;
        for (int dpi : {96, 120, 144}) {
            SCOPED_TRACE(win32::Utf8Text(face) + " at " + std::to_string(dpi) + " DPI");
            FormControls* controls = nullptr;
            auto form = Open(face, dpi, controls);
            ASSERT_EQ(form->Dpi(), dpi);
            LOGFONTW message{};
            message.lfHeight = -MulDiv(9, dpi, 72);
            message.lfCharSet = DEFAULT_CHARSET;
            lstrcpynW(message.lfFaceName, face, LF_FACESIZE);
            const win32::FontFit fit = win32::MeasureFont(message, dpi);
            if (dpi == 96) cells.insert(fit.cellHeight);
            HWND box = form->ControlHandle("txtUserId");
            const std::wstring chosen = FaceOf(box);
            std::printf("font %ls at %d DPI: cell %d px, text box inside %d px -> %ls (cell %d px)\n", face, dpi,
                        fit.cellHeight, [box] { RECT r{}; GetClientRect(box, &r); return int(r.bottom); }(),
                        chosen.c_str(), int(MetricsOf(box).tmHeight));
            // The platform's font stays wherever it fits.
            EXPECT_EQ(chosen == face, fit.fits);
            ExpectEverythingWhole(*form);
        }
    }
    ASSERT_GE(tried, 2) << "scripts/install-deps --windows installs the fonts";
    EXPECT_GE(cells.size(), 2u) << "the fonts tried should differ in height";
}

TEST(ManifestTest, TheProgramRunsAsItsCallerWithoutVirtualisation) {
    HRSRC found = FindResourceW(nullptr, MAKEINTRESOURCEW(1), MAKEINTRESOURCEW(24));  // RT_MANIFEST
    ASSERT_NE(found, nullptr);
    const char* data = static_cast<const char*>(LockResource(LoadResource(nullptr, found)));
    const std::string manifest(data, SizeofResource(nullptr, found));
    EXPECT_NE(manifest.find("<requestedExecutionLevel level=\"asInvoker\" uiAccess=\"false\"/>"), std::string::npos);
}

}  // namespace
}  // namespace solne
