#include "win32/DllSearch.h"

#include "win32/OptionalFunction.h"

namespace {

constexpr DWORD kLoadLibrarySearchSystem32 = 0x00000800; // Windows 8, or 7 with KB2533623

} // namespace

void RestrictDllSearch()
{
    using SetDefaultDllDirectoriesFunction = BOOL(WINAPI*)(DWORD);
    if (const auto setDefault =
            OptionalFunction<SetDefaultDllDirectoriesFunction>(Kernel32(), "SetDefaultDllDirectories"))
        setDefault(kLoadLibrarySearchSystem32);

    using SetDllDirectoryFunction = BOOL(WINAPI*)(const wchar_t*);
    if (const auto setDirectory = OptionalFunction<SetDllDirectoryFunction>(Kernel32(), "SetDllDirectoryW"))
        setDirectory(L""); // Windows XP SP1 and later: takes the current directory out of the search
}
