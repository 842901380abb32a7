#include "tests/win/WindowProbe.h"

#include "tests/win/SystemError.h"

#include <cstdio>

RunningProgram::RunningProgram(const std::wstring& executable, const std::wstring& workingDirectory,
    const wchar_t* environment, const std::wstring& arguments)
{
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    std::wstring commandLine = L"\"" + executable + L"\"" + (arguments.empty() ? L"" : L" " + arguments);
    const auto start = [&] {
        return CreateProcessW(executable.c_str(), commandLine.data(), nullptr, nullptr, FALSE,
                   CREATE_UNICODE_ENVIRONMENT, const_cast<wchar_t*>(environment), workingDirectory.c_str(), &startup,
                   &process_) != FALSE;
    };
    const std::string what = "cannot start " + Utf8(commandLine) + " in " + Utf8(workingDirectory);
    if (start())
        return;
    // Wine 8 now and then fails a process start with STATUS_INTERNAL_ERROR (1359) that no
    // argument or file of ours explains: said, and tried once more; a second failure fails.
    if (GetLastError() == ERROR_INTERNAL_ERROR) {
        std::fprintf(stderr, "%s (%s); trying once more\n", what.c_str(), SystemError(ERROR_INTERNAL_ERROR).c_str());
        if (start())
            return;
    }
    ThrowLastError(what);
}

RunningProgram::~RunningProgram()
{
    if (WaitForSingleObject(process_.hProcess, 0) == WAIT_TIMEOUT) {
        TerminateProcess(process_.hProcess, 1);
        WaitForSingleObject(process_.hProcess, 5000);
    }
    CloseHandle(process_.hThread);
    CloseHandle(process_.hProcess);
}

DWORD RunningProgram::WaitForExit(unsigned milliseconds)
{
    WaitForSingleObject(process_.hProcess, milliseconds);
    DWORD code = STILL_ACTIVE;
    GetExitCodeProcess(process_.hProcess, &code);
    return code;
}

bool WaitUntil(const std::function<bool()>& condition, unsigned milliseconds, unsigned pollMilliseconds)
{
    for (unsigned waited = 0;; waited += pollMilliseconds) {
        if (condition())
            return true;
        if (waited >= milliseconds)
            return false;
        Sleep(pollMilliseconds);
    }
}

HWND FindTopWindowWhere(DWORD processId, const std::function<bool(HWND)>& matches)
{
    struct Search {
        DWORD processId;
        const std::function<bool(HWND)>& matches;
        HWND found;
    } search{processId, matches, nullptr};
    EnumWindows(
        [](HWND window, LPARAM parameter) -> BOOL {
            auto& s = *reinterpret_cast<Search*>(parameter);
            DWORD owner = 0;
            GetWindowThreadProcessId(window, &owner);
            if (owner == s.processId && IsWindowVisible(window) && s.matches(window)) {
                s.found = window;
                return FALSE;
            }
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&search));
    return search.found;
}

HWND FindTopWindow(DWORD processId, const std::wstring& className)
{
    return FindTopWindowWhere(processId, [&](HWND window) { return ClassName(window) == className; });
}

HWND FindUnownedTopWindow(DWORD processId)
{
    return FindTopWindowWhere(processId, [](HWND window) { return GetWindow(window, GW_OWNER) == nullptr; });
}

HWND WaitForTopWindow(DWORD processId, const std::wstring& className, unsigned milliseconds)
{
    HWND window = nullptr;
    WaitUntil([&] { return (window = FindTopWindow(processId, className)) != nullptr; }, milliseconds);
    return window;
}

std::vector<HWND> ChildWindows(HWND parent)
{
    std::vector<HWND> children;
    for (HWND child = GetWindow(parent, GW_CHILD); child != nullptr; child = GetWindow(child, GW_HWNDNEXT))
        children.push_back(child);
    return children;
}

std::wstring WindowText(HWND window)
{
    wchar_t text[1024] = {};
    DWORD_PTR length = 0;
    // A program that is busy (a loaded machine, the VM's emulated CPU) answers late, not
    // never: wait long, and never read an unanswered request as an empty text.
    if (SendMessageTimeoutW(window, WM_GETTEXT, 1024, reinterpret_cast<LPARAM>(text), SMTO_NORMAL, 60000, &length))
        return text;
    if (!IsWindow(window))
        return {}; // closed in the meantime
    ThrowLastError("no answer to WM_GETTEXT within 60 s from a window of class " + Utf8(ClassName(window)));
}

std::wstring ClassName(HWND window)
{
    wchar_t name[256] = {};
    GetClassNameW(window, name, 256);
    return name;
}

RECT RectInParent(HWND child)
{
    RECT rect{};
    GetWindowRect(child, &rect);
    MapWindowPoints(nullptr, GetParent(child), reinterpret_cast<POINT*>(&rect), 2);
    return rect;
}

HWND FocusOf(HWND window)
{
    GUITHREADINFO info{};
    info.cbSize = sizeof info;
    GetGUIThreadInfo(GetWindowThreadProcessId(window, nullptr), &info);
    return info.hwndFocus;
}

std::wstring MessageBoxText(HWND box)
{
    for (HWND child : ChildWindows(box))
        if (_wcsicmp(ClassName(child).c_str(), L"Static") == 0 && (GetWindowLongW(child, GWL_STYLE) & SS_ICON) == 0 &&
            !WindowText(child).empty())
            return WindowText(child);
    return {};
}

bool Click(HWND button)
{
    if (!IsWindowEnabled(button))
        return false;
    PostMessageW(button, BM_CLICK, 0, 0); // posted: the click may open a modal box
    return true;
}

void PressKey(HWND target, WORD key)
{
    PostMessageW(target, WM_KEYDOWN, key, 1);
    PostMessageW(target, WM_KEYUP, key, 0xC0000001);
}

int CountPixels(const RECT& screenRect, COLORREF color)
{
    const HDC screen = GetDC(nullptr);
    int count = 0;
    for (int y = screenRect.top; y < screenRect.bottom; ++y)
        for (int x = screenRect.left; x < screenRect.right; ++x)
            count += GetPixel(screen, x, y) == color;
    ReleaseDC(nullptr, screen);
    return count;
}
