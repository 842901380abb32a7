#include "shell/DllSearch.h"

#include "staging/Win32Function.h"

namespace {

constexpr DWORD kLoadLibrarySearchSystem32 = 0x00000800; // Windows 8, or 7 with KB2533623

template <class Function> Function Kernel32Function(const char* name)
{
    return FunctionFrom<Function>(GetModuleHandleW(L"kernel32.dll"), name);
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
