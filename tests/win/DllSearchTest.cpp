// After RestrictDllSearch a DLL lying beside the program is no longer loaded by name.
#include "shell/DllSearch.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <string>

namespace {

std::wstring OwnFolder()
{
    wchar_t path[MAX_PATH];
    const DWORD length = GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring folder(path, length);
    return folder.substr(0, folder.find_last_of(L'\\') + 1);
}

TEST(DllSearch, DllsBesideTheProgramAreNotLoadedByNameAnyMore)
{
    // Two copies of one small DLL of ours beside this program.
    const std::wstring source = std::wstring(L"" PLANTED_DLL);
    ASSERT_TRUE(CopyFileW(source.c_str(), (OwnFolder() + L"control_planted.dll").c_str(), FALSE));
    ASSERT_TRUE(CopyFileW(source.c_str(), (OwnFolder() + L"later_planted.dll").c_str(), FALSE));

    const HMODULE before = LoadLibraryW(L"control_planted.dll");
    EXPECT_NE(before, nullptr) << "the program's folder should be searched before the restriction";

    RestrictDllSearch();
    const HMODULE after = LoadLibraryW(L"later_planted.dll");
    EXPECT_EQ(after, nullptr) << "a DLL beside the program was loaded after the restriction";
    EXPECT_NE(LoadLibraryW(L"version.dll"), nullptr) << "system DLLs must still load";
}

} // namespace
