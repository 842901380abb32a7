// The floor of the unattended run: a windows program that, started from the package
// folder, does what "preinstall.exe /S" must with plain Win32 calls (the four copies, the
// setup started hidden and waited for, the store scan) and exits with 0 when all of it
// succeeded. The bench driver times it from its start to its exit, like the program.
#include <windows.h>

#include "tests/bench/FloorWork.h"

#include <string>

int WINAPI wWinMain(HINSTANCE, HINSTANCE, LPWSTR, int)
{
    wchar_t path[MAX_PATH];
    const DWORD length = GetModuleFileNameW(nullptr, path, MAX_PATH);
    if (length == 0 || length == MAX_PATH)
        return 1;
    std::wstring folder(path, length);
    folder.erase(folder.find_last_of(L'\\') + 1);
    return DoFloorWork(folder, FloorWork::CopiesAndVerdict) ? 0 : 1;
}
