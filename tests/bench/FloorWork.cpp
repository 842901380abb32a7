#include "tests/bench/FloorWork.h"

#include <windows.h>

#include "tests/win/SystemError.h"

#include "staging/StoreCopies.h"
#include "win32/Files.h"
#include "win32/Text.h"

#include <cstdio>
#include <utility>

namespace {

bool Reported(BOOL succeeded, const char* what, const std::wstring& path)
{
    if (succeeded)
        return true;
    const std::string reason = SystemError(GetLastError());
    std::fprintf(stderr, "floor: %s %s failed: %s\n", what, Utf8(path).c_str(), reason.c_str());
    return false;
}

std::wstring WindowsDirectory()
{
    wchar_t windows[MAX_PATH];
    const UINT length = GetWindowsDirectoryW(windows, MAX_PATH);
    return std::wstring(windows, length < MAX_PATH ? length : 0);
}

bool CopyPackage(const std::wstring& package, const std::wstring& staging)
{
    CreateDirectoryW(staging.c_str(), nullptr);
    const std::pair<const wchar_t*, const wchar_t*> copies[] = {{L"TOVRA.EXB", L"TOVRA_SETUP.EXE"},
        {L"TOVRA.INF", L"TOVRA.INF"}, {L"TOVRAWDM.SYS", L"TOVRAWDM.SYS"}, {L"TOVRA.DLL", L"TOVRA.DLL"}};
    bool copied = true;
    for (const auto& [name, stagedName] : copies)
        copied = Reported(CopyFileW((package + name).c_str(), (staging + stagedName).c_str(), FALSE), "CopyFileW",
                     staging + stagedName) &&
            copied;
    return copied;
}

bool RunSetupHiddenAndWait(const std::wstring& staging)
{
    const std::wstring setup = staging + L"TOVRA_SETUP.EXE";
    std::wstring commandLine = L"\"" + setup + L"\" /S";
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESHOWWINDOW;
    startup.wShowWindow = SW_HIDE;
    PROCESS_INFORMATION process{};
    if (!Reported(CreateProcessW(setup.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr,
                      staging.c_str(), &startup, &process),
            "CreateProcessW", setup))
        return false;
    WaitForSingleObject(process.hProcess, INFINITE);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return true;
}

// The program's own scan: it is part of what must happen before success.
bool StagedInfIsInTheStore(const std::wstring& windows, const std::wstring& staging)
{
    Win32Files files;
    const Result<std::string> inf = files.ReadFileBytes(Narrow(staging + L"TOVRA.INF"));
    const Result<std::vector<std::string>> found = inf ? StoreCopiesOf(files, Narrow(windows + L"\\inf\\"), *inf)
                                                       : Result<std::vector<std::string>>(Failed{inf.Error()});
    return Reported(found && !found->empty(), "finding the driver store's copy of", staging + L"TOVRA.INF");
}

} // namespace

bool DoFloorWork(const std::wstring& packageFolder, FloorWork work)
{
    const std::wstring windows = WindowsDirectory();
    const std::wstring staging = windows + L"\\tovra_driver\\";
    const bool copied = CopyPackage(packageFolder, staging);
    if (work == FloorWork::CopiesOnly)
        return copied;
    return RunSetupHiddenAndWait(staging) && StagedInfIsInTheStore(windows, staging) && copied;
}
