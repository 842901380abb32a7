// The benchmark's fair floor: the program's window (class, caption, the eleven controls
// with their texts, boxes and fonts, the hidden blue label, the dialog keys) built in plain
// Win32, without our windowing layer, from the same description data and linked with the
// same resources; it restricts the DLL search at start as the program does. What the
// program costs beyond this is the layer's.
#include "ui/Unit1Form.h"
#include "win32/DllSearch.h"
#include "win32/OptionalFunction.h"
#include "win32/Text.h"

#include <windows.h>

#include <vector>

namespace {

int dpi = 96;
HBRUSH background = nullptr;
HWND successLabel = nullptr;

int Scaled(int pixels)
{
    return MulDiv(pixels, dpi, 96);
}

COLORREF Rgb(TColor color)
{
    return (color & 0x80000000u) != 0 ? GetSysColor(static_cast<int>(color & 0xFF)) : static_cast<COLORREF>(color);
}

HFONT Font(const FontDescription& font)
{
    return CreateFontW(-Scaled(-font.height), 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, static_cast<BYTE>(font.charset),
        0, 0, DEFAULT_QUALITY, 0, Widen(font.name).c_str());
}

LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_CTLCOLORSTATIC: {
        const HDC dc = reinterpret_cast<HDC>(wParam);
        SetBkMode(dc, TRANSPARENT);
        SetTextColor(
            dc, reinterpret_cast<HWND>(lParam) == successLabel ? RGB(0, 0, 255) : GetSysColor(COLOR_WINDOWTEXT));
        return reinterpret_cast<LRESULT>(background);
    }
    case WM_DESTROY:
        PostQuitMessage(0);
        return 0;
    default:
        return DefWindowProcW(window, message, wParam, lParam);
    }
}

} // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, wchar_t*, int)
{
    RestrictDllSearch();
    using InitCommonControlsFunction = void(WINAPI*)();
    if (const auto initialise =
            OptionalFunction<InitCommonControlsFunction>(LoadLibraryW(L"comctl32.dll"), "InitCommonControls"))
        initialise();

    const FormDescription& form = TForm1Description();
    const HDC screen = GetDC(nullptr);
    dpi = GetDeviceCaps(screen, LOGPIXELSY);
    ReleaseDC(nullptr, screen);
    background = CreateSolidBrush(Rgb(form.color));

    WNDCLASSEXW windowClass{};
    windowClass.cbSize = sizeof windowClass;
    windowClass.lpfnWndProc = WindowProc;
    windowClass.hInstance = instance;
    windowClass.hIcon = static_cast<HICON>(LoadImageW(
        instance, MAKEINTRESOURCEW(1), IMAGE_ICON, GetSystemMetrics(SM_CXICON), GetSystemMetrics(SM_CYICON), 0));
    windowClass.hIconSm = static_cast<HICON>(LoadImageW(
        instance, MAKEINTRESOURCEW(1), IMAGE_ICON, GetSystemMetrics(SM_CXSMICON), GetSystemMetrics(SM_CYSMICON), 0));
    windowClass.hCursor = LoadCursorW(nullptr, MAKEINTRESOURCEW(32512)); // IDC_ARROW
    windowClass.hbrBackground = background;
    const std::wstring className = Widen(form.className);
    windowClass.lpszClassName = className.c_str();
    RegisterClassExW(&windowClass);

    const DWORD style = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX | WS_CLIPCHILDREN;
    RECT frame{0, 0, Scaled(form.clientWidth), Scaled(form.clientHeight)};
    AdjustWindowRectEx(&frame, style, FALSE, 0);
    const int width = frame.right - frame.left, height = frame.bottom - frame.top;
    const HWND window = CreateWindowExW(0, className.c_str(), Widen(form.caption).c_str(), style,
        (GetSystemMetrics(SM_CXSCREEN) - width) / 2, (GetSystemMetrics(SM_CYSCREEN) - height) / 2, width, height,
        nullptr, nullptr, instance, nullptr);
    const HFONT formFont = Font(form.font);

    HWND firstButton = nullptr;
    for (const ComponentDescription& control : form.components) {
        if (control.kind != ComponentKind::Label && control.kind != ComponentKind::Button)
            continue;
        const bool button = control.kind == ComponentKind::Button;
        const DWORD controlStyle = WS_CHILD | (control.visible ? WS_VISIBLE : 0) |
            (button ? BS_PUSHBUTTON | WS_TABSTOP : SS_LEFTNOWORDWRAP | SS_NOPREFIX);
        const HWND handle = CreateWindowExW(0, button ? L"BUTTON" : L"STATIC", Widen(control.caption).c_str(),
            controlStyle, Scaled(control.left), Scaled(control.top), Scaled(control.width), Scaled(control.height),
            window, nullptr, instance, nullptr);
        SendMessageW(handle, WM_SETFONT,
            reinterpret_cast<WPARAM>(control.font.name.empty() ? formFont : Font(control.font)), FALSE);
        if (!control.visible)
            successLabel = handle;
        if (button && firstButton == nullptr)
            firstButton = handle;
    }

    ShowWindow(window, SW_SHOWNORMAL);
    UpdateWindow(window);
    SetFocus(firstButton);
    MSG message;
    while (GetMessageW(&message, nullptr, 0, 0) > 0) {
        if (IsDialogMessageW(window, &message))
            continue;
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
    return 0;
}
