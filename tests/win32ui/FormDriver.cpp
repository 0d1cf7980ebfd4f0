#include "win32ui/FormDriver.h"

namespace solne::test {

void FormDriver::Post(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    PostMessageW(hwnd, msg, wParam, lParam);
}

// The controls read the modifier keys from the thread's keyboard state as
// well as from the mouse message.
void FormDriver::Hold(unsigned held) {
    BYTE keys[256] = {};
    GetKeyboardState(keys);
    keys[VK_CONTROL] = keys[VK_LCONTROL] = (held & kCtrl) ? 0x80 : 0;
    keys[VK_SHIFT] = keys[VK_LSHIFT] = (held & kShift) ? 0x80 : 0;
    keys[VK_MENU] = keys[VK_LMENU] = 0;
    SetKeyboardState(keys);
}

void FormDriver::ClickRow(std::string_view list, int row, unsigned held) {
    HWND hwnd = Control(list);
    RECT r{};
    r.left = LVIR_BOUNDS;
    SendMessageW(hwnd, LVM_GETITEMRECT, WPARAM(row), LPARAM(&r));
    // Inside the first column, away from the row's edges.
    const LPARAM at = MAKELPARAM(r.left + 10, (r.top + r.bottom) / 2);
    Hold(held);
    Post(hwnd, WM_MOUSEMOVE, held, at);
    Post(hwnd, WM_LBUTTONDOWN, MK_LBUTTON | held, at);
    Post(hwnd, WM_LBUTTONUP, held, at);
    Pump();
    Hold(kNone);
}

void FormDriver::ClickBelowRows(std::string_view list) {
    HWND hwnd = Control(list);
    RECT client{};
    GetClientRect(hwnd, &client);
    const LPARAM at = MAKELPARAM(10, client.bottom - 4);
    Hold(kNone);
    Post(hwnd, WM_LBUTTONDOWN, MK_LBUTTON, at);
    Post(hwnd, WM_LBUTTONUP, 0, at);
    Pump();
}

void FormDriver::Click(std::string_view control) {
    HWND hwnd = Control(control);
    RECT client{};
    GetClientRect(hwnd, &client);
    const LPARAM at = MAKELPARAM(client.right / 2, client.bottom / 2);
    Hold(kNone);
    Post(hwnd, WM_LBUTTONDOWN, MK_LBUTTON, at);
    Post(hwnd, WM_LBUTTONUP, 0, at);
    Pump();
}

void FormDriver::Type(std::string_view box, const std::string& text) {
    HWND hwnd = Control(box);
    SetFocus(hwnd);
    for (wchar_t c : win32::WideText(text)) Post(hwnd, WM_CHAR, c, 1);
    Pump();
}

void FormDriver::Compose(std::string_view control, const std::string& text) {
    HWND hwnd = Control(control);
    SetFocus(hwnd);
    for (wchar_t c : win32::WideText(text)) Post(hwnd, WM_IME_CHAR, c, 1);
    Pump();
}

void FormDriver::Key(UINT vk, unsigned held) {
    HWND focus = GetFocus();
    const UINT scan = MapVirtualKeyW(vk, MAPVK_VK_TO_VSC);
    Hold(held);
    Post(focus, WM_KEYDOWN, vk, LPARAM(1 | (scan << 16)));
    Post(focus, WM_KEYUP, vk, LPARAM(1 | (scan << 16) | (1u << 30) | (1u << 31)));
    Pump();
    Hold(kNone);
}

void FormDriver::AltF4() {
    HWND focus = GetFocus();
    const UINT scan = MapVirtualKeyW(VK_F4, MAPVK_VK_TO_VSC);
    Post(focus, WM_SYSKEYDOWN, VK_F4, LPARAM(1 | (scan << 16) | (1u << 29)));
    Post(focus, WM_SYSKEYUP, VK_F4, LPARAM(1 | (scan << 16) | (1u << 29) | (1u << 30) | (1u << 31)));
    Pump();
}

void FormDriver::CloseBox() {
    Post(form_.Handle(), WM_SYSCOMMAND, SC_CLOSE, 0);
    Pump();
}

}  // namespace solne::test
