// Presses the program's buttons for the unattended demo, as a person would.
//   demo_driver wait    waits until the main window shows
//   demo_driver press   presses "预装驱动" and waits for the result; a message box is
//                       printed and answered
//   demo_driver close   presses "退出"
#include "tests/win/WindowProbe.h"

#include <cstdio>
#include <cwchar>

namespace {

HWND MainWindow()
{
    HWND window = nullptr;
    WaitUntil([&] { return (window = FindWindowW(L"TForm1", nullptr)) != nullptr && IsWindowVisible(window); }, 30000);
    return window;
}

HWND Control(HWND window, const wchar_t* text)
{
    for (HWND child : ChildWindows(window))
        if (WindowText(child) == text)
            return child;
    return nullptr;
}

int Press(HWND window)
{
    const HWND button = Control(window, L"预装驱动");
    const HWND success = Control(window, L"预装成功!");
    if (button == nullptr || success == nullptr || !Click(button))
        return 1;
    DWORD processId = 0;
    GetWindowThreadProcessId(window, &processId);
    HWND box = nullptr;
    WaitUntil(
        [&] { return IsWindowVisible(success) || (box = FindTopWindow(processId, L"#32770")) != nullptr; }, 30000);
    if (box != nullptr) {
        std::printf("message box: %ls\n", MessageBoxText(box).c_str());
        Sleep(500);
        return 2;
    }
    Sleep(500); // let the label paint before the screenshot
    return IsWindowVisible(success) ? 0 : 1;
}

} // namespace

int wmain(int argc, wchar_t** argv)
{
    const HWND window = MainWindow();
    if (argc != 2 || window == nullptr)
        return 1;
    if (std::wcscmp(argv[1], L"wait") == 0) {
        Sleep(500);
        return 0;
    }
    if (std::wcscmp(argv[1], L"press") == 0)
        return Press(window);
    if (std::wcscmp(argv[1], L"close") == 0)
        return Click(Control(window, L"退出")) ? 0 : 1;
    return 1;
}
