// Runs the application's initialisation alone and reports whether comctl32 is loaded
// afterwards, before any window exists. With the program's manifest it must be, and from
// the system (never a comctl32.dll beside this program); without one (no side-by-side
// redirection, as on Windows 2000) it must not be. Exit code 0 when as expected.
#include "ui/Windowing.h"
#include "win32/Text.h"

#include <cstdio>

namespace {

std::wstring ModulePath(HMODULE module)
{
    wchar_t path[MAX_PATH];
    const DWORD length = GetModuleFileNameW(module, path, MAX_PATH);
    return std::wstring(path, length);
}

std::wstring FolderOf(const std::wstring& path)
{
    return path.substr(0, path.find_last_of(L'\\') + 1);
}

int Fail(const char* what)
{
    std::printf("%s\n", what);
    return 1;
}

} // namespace

int wmain()
{
    if (GetModuleHandleW(L"comctl32.dll") != nullptr)
        return Fail("comctl32 was loaded before the initialisation");
    Application->Initialize();
    const HMODULE comctl32 = GetModuleHandleW(L"comctl32.dll");
    if (!EXPECT_COMCTL32_LOADED)
        return comctl32 == nullptr ? 0 : Fail("comctl32 was loaded without side-by-side redirection");
    if (comctl32 == nullptr)
        return Fail("comctl32 is not loaded after the initialisation");
    const std::wstring loaded = ModulePath(comctl32);
    std::printf("comctl32 loaded from %s\n", Narrow(loaded).c_str());
    if (_wcsicmp(FolderOf(loaded).c_str(), FolderOf(ModulePath(nullptr)).c_str()) == 0)
        return Fail("the comctl32.dll beside the program was loaded");
    if (GetProcAddress(comctl32, "TaskDialogIndirect") == nullptr)
        return Fail("the loaded comctl32 is not version 6");
    return 0;
}
