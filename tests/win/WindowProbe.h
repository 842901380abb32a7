// Drives a real program's window from another process, as a person would: finds its
// windows, reads texts, rectangles and states, clicks, and answers message boxes.
#pragma once

#include <windows.h>

#include <functional>
#include <string>
#include <vector>

class RunningProgram {
public:
    // `environment`: a Windows environment block, or nullptr for this process's own.
    // `arguments` follow the quoted program on its command line.
    RunningProgram(const std::wstring& executable, const std::wstring& workingDirectory,
        const wchar_t* environment = nullptr, const std::wstring& arguments = L"");
    ~RunningProgram(); // ends the program if it still runs
    RunningProgram(const RunningProgram&) = delete;
    RunningProgram& operator=(const RunningProgram&) = delete;

    DWORD Id() const { return process_.dwProcessId; }
    // The exit code, or STILL_ACTIVE if the program has not ended within `milliseconds`.
    DWORD WaitForExit(unsigned milliseconds);

private:
    PROCESS_INFORMATION process_{};
};

bool WaitUntil(const std::function<bool()>& condition, unsigned milliseconds, unsigned pollMilliseconds = 25);

// A visible top-level window of process `processId` with the class name; nullptr if none
// appears within `milliseconds`.
HWND WaitForTopWindow(DWORD processId, const std::wstring& className, unsigned milliseconds);
HWND FindTopWindow(DWORD processId, const std::wstring& className);
// The first visible top-level window of the process that `matches`.
HWND FindTopWindowWhere(DWORD processId, const std::function<bool(HWND)>& matches);
// Any visible top-level window of the process that no other window owns (not a message box).
HWND FindUnownedTopWindow(DWORD processId);
std::vector<HWND> ChildWindows(HWND parent); // in creation order
std::wstring WindowText(HWND window);
std::wstring ClassName(HWND window);
RECT RectInParent(HWND child);
HWND FocusOf(HWND window); // the focused control of the window's thread
// The text of a message box (its static text, not the icon).
std::wstring MessageBoxText(HWND box);
// Presses a button as a person could: only when it is enabled.
bool Click(HWND button);
void PressKey(HWND target, WORD key);
// How many pixels of the screen rectangle have exactly `color`.
int CountPixels(const RECT& screenRect, COLORREF color);
