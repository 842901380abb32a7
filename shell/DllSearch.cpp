#include "shell/DllSearch.h"

#include <windows.h>

namespace {

constexpr DWORD kLoadLibrarySearchSystem32 = 0x00000800; // Windows 8, or 7 with KB2533623

// A kernel32 function that older Windows may lack; nullptr there.
template <class Function> Function Kernel32Function(const char* name)
{
    // Through a generic function pointer: a direct cast between function types warns.
    const auto address = reinterpret_cast<void (*)()>(GetProcAddress(GetModuleHandleW(L"kernel32.dll"), name));
    return reinterpret_cast<Function>(address);
}

} // namespace

void RestrictDllSearch()
{
    using SetDefaultDllDirectoriesFunction = BOOL(WINAPI*)(DWORD);
    if (const auto setDefault = Kernel32Function<SetDefaultDllDirectoriesFunction>("SetDefaultDllDirectories"))
        setDefault(kLoadLibrarySearchSystem32);

    using SetDllDirectoryFunction = BOOL(WINAPI*)(const wchar_t*);
    if (const auto setDirectory = Kernel32Function<SetDllDirectoryFunction>("SetDllDirectoryW"))
        setDirectory(L""); // Windows XP SP1 and later: takes the current directory out of the search
}
