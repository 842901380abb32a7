#include "win32/SetupWaiting.h"

#include "win32/Processes.h"
#include "win32/Text.h"

SetupHandleWaiting::~SetupHandleWaiting()
{
    if (folderChange_ != INVALID_HANDLE_VALUE)
        FindCloseChangeNotification(folderChange_);
}

void SetupHandleWaiting::WatchFolder(const std::string& folder)
{
    // Without a notification the waits still end at their time limit, and the folder is
    // looked at then.
    folderChange_ = FindFirstChangeNotificationW(
        Widen(folder).c_str(), FALSE, FILE_NOTIFY_CHANGE_FILE_NAME | FILE_NOTIFY_CHANGE_LAST_WRITE);
}

bool SetupHandleWaiting::Wait(const StartedProgram& program, unsigned long milliseconds)
{
    std::vector<HANDLE> handles;
    // An ended process stays signalled: it is waited on only while it runs. The first wait
    // after its end returns at once, however it came: the setup may have ended after the
    // caller last looked, and the caller must look again before it waits for anything else.
    const auto* started = dynamic_cast<const Win32StartedProgram*>(&program);
    if (const HANDLE process = started ? started->Process() : nullptr; process && !processEndSeen_) {
        if (WaitForSingleObject(process, 0) != WAIT_TIMEOUT) {
            processEndSeen_ = true;
            return true;
        }
        handles.push_back(process);
    }
    if (folderChange_ != INVALID_HANDLE_VALUE)
        handles.push_back(folderChange_);
    const bool goOn = WaitOn(handles, milliseconds);
    if (folderChange_ != INVALID_HANDLE_VALUE && WaitForSingleObject(folderChange_, 0) == WAIT_OBJECT_0)
        FindNextChangeNotification(folderChange_);
    return goOn;
}

bool BlockingWaiting::WaitOn(const std::vector<HANDLE>& handles, DWORD milliseconds)
{
    if (handles.empty())
        Sleep(milliseconds);
    else
        WaitForMultipleObjects(static_cast<DWORD>(handles.size()), handles.data(), FALSE, milliseconds);
    return true;
}
