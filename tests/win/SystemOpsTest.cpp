// The real Windows operations against a real disk.
#include "staging/Win32SystemOps.h"
#include "staging/Win32Text.h"
#include "tests/win/WinTestSupport.h"

#include <gtest/gtest.h>
#include <windows.h>

namespace {

class SystemOpsTest : public ::testing::Test {
protected:
    ScratchFolder scratch{L"system_ops"};
    Win32SystemOps ops;

    std::string At(const std::wstring& name) const { return Narrow(scratch.Path() + name); }
    std::wstring WideAt(const std::wstring& name) const { return scratch.Path() + name; }
};

TEST_F(SystemOpsTest, FileExistsOnlyForFiles)
{
    WriteWholeFile(WideAt(L"file.txt"), "x");
    CreateDirectoryW(WideAt(L"folder").c_str(), nullptr);
    EXPECT_TRUE(ops.FileExists(At(L"file.txt")));
    EXPECT_FALSE(ops.FileExists(At(L"folder")));
    EXPECT_FALSE(ops.FileExists(At(L"nothing.txt")));
}

TEST_F(SystemOpsTest, MakeDirectoryAcceptsAnExistingDirectoryButNotAFile)
{
    EXPECT_EQ(ops.MakeDirectory(At(L"staging")), 0u);
    EXPECT_EQ(ops.MakeDirectory(At(L"staging")), 0u);
    WriteWholeFile(WideAt(L"occupied"), "a plain file");
    EXPECT_EQ(ops.MakeDirectory(At(L"occupied")), static_cast<unsigned long>(ERROR_ALREADY_EXISTS));
    EXPECT_EQ(ops.MakeDirectory(At(L"no\\parent")), static_cast<unsigned long>(ERROR_PATH_NOT_FOUND));
}

TEST_F(SystemOpsTest, CopyOverwritesEvenAReadOnlyDestination)
{
    WriteWholeFile(WideAt(L"new.bin"), std::string("new\0bytes", 9));
    WriteWholeFile(WideAt(L"old.bin"), "old");
    SetFileAttributesW(WideAt(L"old.bin").c_str(), FILE_ATTRIBUTE_READONLY);
    ASSERT_TRUE(PlainCopyOntoFails(WideAt(L"old.bin"))) << "old.bin is not really read-only: Wine runs as root?";

    EXPECT_EQ(ops.CopyFileOver(At(L"new.bin"), At(L"old.bin")), 0u);
    EXPECT_EQ(ReadWholeFile(WideAt(L"old.bin")), std::string("new\0bytes", 9));
    EXPECT_EQ(ops.CopyFileOver(At(L"missing.bin"), At(L"copy.bin")), static_cast<unsigned long>(ERROR_FILE_NOT_FOUND));
}

TEST_F(SystemOpsTest, CopyToADestinationHeldOpenFails)
{
    WriteWholeFile(WideAt(L"new.bin"), "new");
    WriteWholeFile(WideAt(L"held.bin"), "held");
    const HANDLE held = CreateFileW(
        WideAt(L"held.bin").c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(held, INVALID_HANDLE_VALUE);
    EXPECT_EQ(ops.CopyFileOver(At(L"new.bin"), At(L"held.bin")), static_cast<unsigned long>(ERROR_SHARING_VIOLATION));
    CloseHandle(held);
    EXPECT_EQ(ReadWholeFile(WideAt(L"held.bin")), "held");
}

TEST_F(SystemOpsTest, PathsOutsideTheAnsiCodePageWork)
{
    // Thai and Korean exist neither in code page 936 nor in 1252.
    const std::wstring folder = L"ไทย_한국어";
    ASSERT_EQ(ops.MakeDirectory(At(folder)), 0u);
    WriteWholeFile(WideAt(L"source.txt"), "payload");
    EXPECT_EQ(ops.CopyFileOver(At(L"source.txt"), At(folder + L"\\copy.txt")), 0u);
    EXPECT_TRUE(ops.FileExists(At(folder + L"\\copy.txt")));
    EXPECT_EQ(ReadWholeFile(WideAt(folder + L"\\copy.txt")), "payload");
}

TEST_F(SystemOpsTest, WindowsDirectoryIsReadOnlyWhenItFits)
{
    const std::size_t size = ops.WindowsDirectorySize();
    ASSERT_GT(size, 1u);
    EXPECT_EQ(ops.ReadWindowsDirectory(size + 1), Narrow(WindowsDirectory()));
    EXPECT_EQ(ops.ReadWindowsDirectory(size - 1), std::nullopt);
}

TEST_F(SystemOpsTest, StartProgramRunsItHiddenWithParametersAndWorkingDirectory)
{
    CopyStandInPackage(scratch.Path());
    const std::wstring workFolder = WideAt(L"工作");
    CreateDirectoryW(workFolder.c_str(), nullptr);
    ASSERT_TRUE(CopyFileW(WideAt(L"TOVRA.EXB").c_str(), (workFolder + L"\\setup.exe").c_str(), FALSE));

    ASSERT_EQ(ops.StartProgram(Narrow(workFolder + L"\\setup.exe"), "/S", Narrow(workFolder + L"\\")), 0u);
    ASSERT_TRUE(WaitForFile(workFolder + L"\\setup.log", 10000));
    const std::string log = ReadWholeFile(workFolder + L"\\setup.log");
    EXPECT_NE(log.find("setup.exe\" /S\t"), std::string::npos) << log;
    EXPECT_NE(log.find("\t" + Narrow(workFolder)), std::string::npos) << log;
    EXPECT_NE(log.find("\t0\n"), std::string::npos) << log; // SW_HIDE
}

TEST_F(SystemOpsTest, StartProgramReportsWhatCannotBeStarted)
{
    EXPECT_NE(ops.StartProgram(At(L"missing.exe"), "/S", Narrow(scratch.Path())), 0u);
    WriteWholeFile(WideAt(L"broken.exe"), "this is not a program");
    EXPECT_NE(ops.StartProgram(At(L"broken.exe"), "/S", Narrow(scratch.Path())), 0u);
}

TEST_F(SystemOpsTest, ErrorDescriptionNamesTheCodeAndTheSystemText)
{
    const std::string description = ops.DescribeError(ERROR_ACCESS_DENIED);
    EXPECT_EQ(description.rfind("错误代码 5: ", 0), 0u) << description;
    EXPECT_GT(description.size(), std::string("错误代码 5: ").size());
    EXPECT_NE(description.back(), '\n');
}

TEST(ExecutableFilePath, IsTheFullPathOfThisProgram)
{
    const std::string path = ExecutableFilePath();
    EXPECT_EQ(path.substr(path.size() - std::string("system_ops_tests.exe").size()), "system_ops_tests.exe");
    EXPECT_EQ(path.substr(1, 2), ":\\");
}

} // namespace
