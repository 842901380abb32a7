// setupapi.dll for the tests under Wine 8, whose SetupUninstallOEMInfW is a stub: it
// removes nothing ("not deleting") and says it succeeded. This one removes the package's
// INF and its .pnf from the inf folder after Wine's call, as Windows' removes them; every
// other export is forwarded to Wine's own setupapi, copied into the prefix as wsetapi.dll
// (setupapi.def). The program under test loads it in place of Wine's (wine.sh start).
#include <windows.h>

#include <string>

namespace {

using UninstallFunction = BOOL(WINAPI*)(const wchar_t*, DWORD, void*);

void DeleteIfThere(const std::wstring& path)
{
    SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
    DeleteFileW(path.c_str());
}

} // namespace

extern "C" BOOL WINAPI RemoveOemInfAsWindowsDoes(const wchar_t* infName, DWORD flags, void* reserved)
{
    const HMODULE wine = LoadLibraryW(L"wsetapi.dll");
    const auto uninstall =
        wine == nullptr ? nullptr : reinterpret_cast<UninstallFunction>(GetProcAddress(wine, "SetupUninstallOEMInfW"));
    if (uninstall == nullptr || !uninstall(infName, flags, reserved))
        return FALSE;
    wchar_t windows[MAX_PATH];
    const UINT length = GetWindowsDirectoryW(windows, MAX_PATH);
    const std::wstring inf = std::wstring(windows, length) + L"\\inf\\" + infName;
    DeleteIfThere(inf);
    DeleteIfThere(inf.substr(0, inf.size() - 4) + L".pnf");
    return TRUE;
}
