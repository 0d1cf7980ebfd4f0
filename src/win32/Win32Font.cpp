#include "win32/Win32Font.h"

#include <algorithm>
#include <string>

#include "frmMain/Layout.h"
#include "win32/Win32Controls.h"
#include "win32/Win32Form.h"

namespace solne::win32 {

namespace {

int Scale(int twips, int dpi) { return MulDiv(twips, dpi, 1440); }

// What a control keeps around its text, in pixels at 96 DPI: a push
// button's frame and focus rectangle on each side; edit controls and labels
// use their whole client area.
constexpr int kButtonMarginX = 4;
constexpr int kButtonMarginY = 3;

// The lines of a caption as the control shows them.
std::vector<std::wstring> Lines(const std::wstring& caption) {
    std::vector<std::wstring> lines;
    size_t start = 0;
    for (;;) {
        size_t end = caption.find(L"\r\n", start);
        lines.push_back(caption.substr(start, end == std::wstring::npos ? std::wstring::npos : end - start));
        if (end == std::wstring::npos) return lines;
        start = end + 2;
    }
}

}  // namespace

int InkWidth(HDC dc, const std::wstring& text) {
    SIZE size{};
    if (text.empty() || !GetTextExtentPoint32W(dc, text.c_str(), int(text.size()), &size)) return 0;
    ABC last{};
    if (!IS_LOW_SURROGATE(text.back()) && GetCharABCWidthsW(dc, text.back(), text.back(), &last) && last.abcC > 0)
        return int(size.cx) - last.abcC;
    return int(size.cx);
}

LOGFONTW SystemMessageFont() {
    NONCLIENTMETRICSW metrics{};
    metrics.cbSize = sizeof metrics;
    if (SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0)) return metrics.lfMessageFont;
    LOGFONTW font{};
    GetObjectW(GetStockObject(DEFAULT_GUI_FONT), sizeof font, &font);
    return font;
}

FontFit MeasureFont(const LOGFONTW& logFont, int dpi) {
    FontFit fit;
    HDC dc = GetDC(nullptr);
    HFONT font = CreateFontIndirectW(&logFont);
    if (!dc || !font) {
        if (font) DeleteObject(font);
        if (dc) ReleaseDC(nullptr, dc);
        return fit;
    }
    HGDIOBJ old = SelectObject(dc, font);
    TEXTMETRICW tm{};
    GetTextMetricsW(dc, &tm);
    fit.cellHeight = tm.tmHeight;
    const int edgeY = GetSystemMetrics(SM_CYEDGE);
    const int edgeX = GetSystemMetrics(SM_CXEDGE);
    const int buttonX = MulDiv(kButtonMarginX, dpi, 96), buttonY = MulDiv(kButtonMarginY, dpi, 96);
    auto width = [dc](const std::wstring& text) { return InkWidth(dc, text); };
    fit.fits = tm.tmHeight > 0;
    for (const layout::Control& c : layout::kControls) {
        const int w = Scale(c.place.width, dpi), h = Scale(c.place.height, dpi);
        const std::vector<std::wstring> lines = Lines(Form::ShownCaption(c));
        int widest = 0;
        for (const std::wstring& line : lines) widest = std::max(widest, width(line));
        switch (c.kind) {
        case layout::Kind::Label: fit.fits &= tm.tmHeight <= h && widest <= w; break;
        case layout::Kind::TextBox: fit.fits &= tm.tmHeight <= h - 2 * edgeY && 2 * edgeX < w; break;
        case layout::Kind::Button:
            fit.fits &= int(lines.size()) * tm.tmHeight <= h - 2 * buttonY && widest <= w - 2 * buttonX;
            break;
        case layout::Kind::ListView: break;  // rows and headers take the font's height
        }
    }
    SelectObject(dc, old);
    DeleteObject(font);
    ReleaseDC(nullptr, dc);
    return fit;
}

LOGFONTW ChooseControlFont(const LOGFONTW& messageFont, int dpi, int systemDpi) {
    LOGFONTW platform = messageFont;
    platform.lfHeight = MulDiv(messageFont.lfHeight, dpi, systemDpi > 0 ? systemDpi : 96);
    const FontFit platformFit = MeasureFont(platform, dpi);
    if (platformFit.fits) return platform;

    LOGFONTW japanese{};
    japanese.lfHeight = -MulDiv(9, dpi, 72);
    japanese.lfWeight = FW_NORMAL;
    japanese.lfCharSet = SHIFTJIS_CHARSET;
    japanese.lfQuality = platform.lfQuality;
    lstrcpynW(japanese.lfFaceName, L"MS UI Gothic", LF_FACESIZE);
    const FontFit japaneseFit = MeasureFont(japanese, dpi);
    if (japaneseFit.fits || japaneseFit.cellHeight < platformFit.cellHeight || platformFit.cellHeight == 0)
        return japanese;
    return platform;
}

}  // namespace solne::win32
