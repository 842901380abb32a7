// The floors for the press-to-success benchmark: the four package files copied with plain
// CopyFileW into the staging folder, in the same Wine, and nothing else.
//   copy_floor PACKAGE_FOLDER          prints "copyfloor <milliseconds>"
//   copy_floor PACKAGE_FOLDER verdict  then also does what the program must before it shows
//                                      success: starts the staged setup hidden, waits for it
//                                      to end, and finds the staged INF's copy in the driver
//                                      store (the inf folder); prints "verdictfloor <milliseconds>"
#include <windows.h>

#include "tests/win/SystemError.h"

#include "staging/StoreCopies.h"
#include "win32/Files.h"
#include "win32/Text.h"

#include <cstdio>
#include <string>

namespace {

// What failed, with the system's code and text, on standard error.
bool Reported(BOOL succeeded, const char* what, const std::wstring& path)
{
    if (succeeded)
        return true;
    const std::string reason = SystemError(GetLastError());
    std::fprintf(stderr, "copy_floor: %s %s failed: %s\n", what, Utf8(path).c_str(), reason.c_str());
    return false;
}

} // namespace

int wmain(int argc, wchar_t** argv)
{
    if (argc != 2 && !(argc == 3 && std::wstring(argv[2]) == L"verdict"))
        return 2;
    std::wstring package = argv[1];
    if (package.back() != L'\\')
        package += L'\\';
    wchar_t windows[MAX_PATH];
    GetWindowsDirectoryW(windows, MAX_PATH);
    const std::wstring staging = std::wstring(windows) + L"\\tovra_driver\\";

    LARGE_INTEGER frequency, start, end;
    QueryPerformanceFrequency(&frequency);
    QueryPerformanceCounter(&start);
    CreateDirectoryW(staging.c_str(), nullptr);
    const std::pair<const wchar_t*, const wchar_t*> copies[] = {{L"TOVRA.EXB", L"TOVRA_SETUP.EXE"},
        {L"TOVRA.INF", L"TOVRA.INF"}, {L"TOVRAWDM.SYS", L"TOVRAWDM.SYS"}, {L"TOVRA.DLL", L"TOVRA.DLL"}};
    bool copied = true;
    for (const auto& [name, stagedName] : copies)
        copied = Reported(CopyFileW((package + name).c_str(), (staging + stagedName).c_str(), FALSE), "CopyFileW",
                     staging + stagedName) &&
            copied;
    if (argc == 3) {
        const std::wstring setup = staging + L"TOVRA_SETUP.EXE";
        std::wstring commandLine = L"\"" + setup + L"\" /S";
        STARTUPINFOW startup{};
        startup.cb = sizeof startup;
        startup.dwFlags = STARTF_USESHOWWINDOW;
        startup.wShowWindow = SW_HIDE;
        PROCESS_INFORMATION process{};
        copied = Reported(CreateProcessW(setup.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr,
                              staging.c_str(), &startup, &process),
                     "CreateProcessW", setup) &&
            copied;
        WaitForSingleObject(process.hProcess, INFINITE);
        CloseHandle(process.hThread);
        CloseHandle(process.hProcess);
        // The same scan as the program's: it is part of what must happen before success.
        Win32Files files;
        const Result<std::string> inf = files.ReadFileBytes(Narrow(staging + L"TOVRA.INF"));
        const Result<std::vector<std::string>> found = inf
            ? StoreCopiesOf(files, Narrow(std::wstring(windows) + L"\\inf\\"), *inf)
            : Result<std::vector<std::string>>(Failed{inf.Error()});
        copied =
            Reported(found && !found->empty(), "finding the driver store's copy of", staging + L"TOVRA.INF") && copied;
    }
    QueryPerformanceCounter(&end);
    std::printf(argc == 3 ? "verdictfloor %.1f\n" : "copyfloor %.1f\n",
        1000.0 * static_cast<double>(end.QuadPart - start.QuadPart) / static_cast<double>(frequency.QuadPart));
    return copied ? 0 : 1;
}
