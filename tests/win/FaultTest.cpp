// Faults a real installation meets, end to end. In every case the package folder stays
// as it was, files of others in the staging directory stay, and the exit code is 0.
#include "tests/win/ProgramFixture.h"

namespace {

class FaultTest : public ProgramTest {
protected:
    // A staging directory from an earlier run, holding a file that is not ours.
    void PrepareStaging()
    {
        CreateDirectoryW(staging.c_str(), nullptr);
        WriteWholeFile(staging + L"notes.txt", "someone else's file");
    }
    void ExpectOthersFilesKept() { EXPECT_EQ(ReadWholeFile(staging + L"notes.txt"), "someone else's file"); }
    void ExpectStagedFromPackage()
    {
        EXPECT_EQ(ReadWholeFile(staging + L"TOVRA_SETUP.EXE"), ReadWholeFile(folder.Path() + L"TOVRA.EXB"));
        for (const wchar_t* name : {L"TOVRA.INF", L"TOVRAWDM.SYS", L"TOVRA.DLL"})
            EXPECT_EQ(ReadWholeFile(staging + name), ReadWholeFile(folder.Path() + name)) << Narrow(name);
    }
};

TEST_F(FaultTest, StagingPathTakenByAFileIsReportedNotSuccess)
{
    WriteWholeFile(WindowsDirectory() + L"\\tovra_driver", "in the way");
    const auto package = FolderSnapshot(folder.Path());
    Start();
    ASSERT_TRUE(Click(controls[kButton1]));
    EXPECT_EQ(AnswerMessageBox().rfind(
                  L"无法创建目录" + WindowsDirectory() + L"\\tovra_driver，驱动安装无法继续!\n错误代码 ", 0),
        0u);
    ExpectNotSucceeded();
    EXPECT_EQ(ReadWholeFile(WindowsDirectory() + L"\\tovra_driver"), "in the way");
    EXPECT_EQ(FolderSnapshot(folder.Path()), package);
    ExitWithCodeZero();
    DeleteFileW((WindowsDirectory() + L"\\tovra_driver").c_str());
}

TEST_F(FaultTest, DestinationHeldOpenIsReportedAndTheOtherCopiesStillMade)
{
    PrepareStaging();
    WriteWholeFile(staging + L"TOVRA.INF", "held by another program");
    const HANDLE held =
        CreateFileW((staging + L"TOVRA.INF").c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(held, INVALID_HANDLE_VALUE);
    const auto package = FolderSnapshot(folder.Path());
    Start();

    ASSERT_TRUE(Click(controls[kButton1]));
    EXPECT_EQ(AnswerMessageBox().rfind(L"无法复制TOVRA.INF文件，驱动安装无法继续!\n错误代码 32", 0), 0u);
    ExpectNotSucceeded();
    EXPECT_EQ(ReadWholeFile(staging + L"TOVRA.DLL"), ReadWholeFile(folder.Path() + L"TOVRA.DLL"));
    EXPECT_FALSE(PathExists(staging + L"setup.log")) << "the setup program was started";
    CloseHandle(held);

    // With the file released, pressing again completes the job.
    ASSERT_TRUE(Click(controls[kButton1]));
    EXPECT_TRUE(SucceedsWithin(30000));
    ExpectStagedFromPackage();
    ExpectOthersFilesKept();
    EXPECT_EQ(FolderSnapshot(folder.Path()), package);
    ExitWithCodeZero();
}

TEST_F(FaultTest, StaleReadOnlyStagedFilesAreReplaced)
{
    PrepareStaging();
    for (const wchar_t* name : {L"TOVRA_SETUP.EXE", L"TOVRA.INF", L"TOVRAWDM.SYS", L"TOVRA.DLL"}) {
        WriteWholeFile(staging + name, "stale copy from an earlier run");
        SetFileAttributesW((staging + name).c_str(), FILE_ATTRIBUTE_READONLY);
        ASSERT_TRUE(PlainCopyOntoFails(staging + name)) << "the stale file is not really read-only: Wine runs as root?";
    }
    const auto package = FolderSnapshot(folder.Path());
    Start();
    ASSERT_TRUE(Click(controls[kButton1]));
    ASSERT_TRUE(SucceedsWithin(30000));
    ExpectStagedFromPackage();
    ExpectOthersFilesKept();
    EXPECT_EQ(FolderSnapshot(folder.Path()), package);
    ExitWithCodeZero();
}

TEST_F(FaultTest, SetupThatIsNotAProgramIsReportedAndTheButtonWorksAgain)
{
    WriteWholeFile(folder.Path() + L"TOVRA.EXB", "MZ but not really a program");
    PrepareStaging();
    const auto package = FolderSnapshot(folder.Path());
    Start();
    for (int attempt = 0; attempt < 2; ++attempt) {
        ASSERT_TRUE(Click(controls[kButton1])) << "the button was left disabled";
        EXPECT_EQ(AnswerMessageBox().rfind(L"无法启动TOVRA_SETUP.EXE，驱动安装无法继续!\n错误代码 ", 0), 0u);
        ExpectNotSucceeded();
    }
    ExpectOthersFilesKept();
    EXPECT_EQ(FolderSnapshot(folder.Path()), package);
    ExitWithCodeZero();
}

TEST_F(FaultTest, FolderSoDeepThatPathsNearTheLimitStillWorks)
{
    // The executable's path ends 2 characters short of MAX_PATH (260).
    std::wstring deep = folder.Path();
    const std::size_t target = MAX_PATH - 2 - std::wstring(L"preinstall.exe").size();
    while (deep.size() < target) {
        // Folders of up to 60 characters and a backslash; never leave room for just the
        // backslash of an empty name, whatever the length of the temporary folder.
        const std::size_t remaining = target - deep.size();
        std::size_t length = std::min<std::size_t>(60, remaining - 1);
        if (remaining - length - 1 == 1)
            --length;
        deep += std::wstring(length, L'd') + L"\\";
        ASSERT_TRUE(CreateDirectoryW(deep.c_str(), nullptr)) << Narrow(deep) << ": error " << GetLastError();
    }
    ASSERT_EQ((deep + L"preinstall.exe").size(), MAX_PATH - 2u);
    PlaceProgramIn(deep);
    const auto package = FolderSnapshot(deep);
    Start(deep, deep);
    ASSERT_TRUE(Click(controls[kButton1]));
    ASSERT_TRUE(SucceedsWithin(30000));
    EXPECT_EQ(ReadWholeFile(staging + L"TOVRAWDM.SYS"), ReadWholeFile(deep + L"TOVRAWDM.SYS"));
    EXPECT_EQ(FolderSnapshot(deep), package);
    ExitWithCodeZero();
}

TEST_F(FaultTest, DecoySetupProgramsInTheWorkingDirectoryAndOnPathAreNeverStarted)
{
    const std::wstring workingDecoy = folder.Path() + L"cwd\\";
    const std::wstring pathDecoy = folder.Path() + L"onpath\\";
    for (const std::wstring& decoy : {workingDecoy, pathDecoy}) {
        CreateDirectoryW(decoy.c_str(), nullptr);
        CopyTestFile(folder.Path() + L"TOVRA.EXB", decoy + L"TOVRA_SETUP.EXE");
    }
    // This process's environment with the decoy folder first on PATH.
    std::wstring environment = L"PATH=" + pathDecoy + L";C:\\windows\\system32;C:\\windows";
    environment.push_back(L'\0');
    const wchar_t* block = GetEnvironmentStringsW();
    for (const wchar_t* entry = block; *entry != L'\0'; entry += wcslen(entry) + 1)
        if (_wcsnicmp(entry, L"PATH=", 5) != 0)
            environment.append(entry, wcslen(entry) + 1);
    FreeEnvironmentStringsW(const_cast<wchar_t*>(block));
    environment.push_back(L'\0');

    const auto package = FolderSnapshot(folder.Path());
    Start(folder.Path(), workingDecoy, environment.c_str());
    ASSERT_TRUE(Click(controls[kButton1]));
    ASSERT_TRUE(SucceedsWithin(30000));
    ASSERT_TRUE(WaitForFile(staging + L"setup.log", 10000));
    Sleep(500);
    EXPECT_FALSE(PathExists(workingDecoy + L"setup.log")) << "the decoy in the working directory ran";
    EXPECT_FALSE(PathExists(pathDecoy + L"setup.log")) << "the decoy on PATH ran";
    EXPECT_EQ(FolderSnapshot(folder.Path()), package);
    ExitWithCodeZero();
}

TEST_F(FaultTest, ReadOnlyProgramFolderIsOnlyRead)
{
    for (const auto& [name, contents] : FolderSnapshot(folder.Path()))
        SetFileAttributesW((folder.Path() + name).c_str(), FILE_ATTRIBUTE_READONLY);
    SetFileAttributesW(folder.Path().c_str(), FILE_ATTRIBUTE_READONLY);
    const auto package = FolderSnapshot(folder.Path());
    Start();
    ASSERT_TRUE(Click(controls[kButton1]));
    ASSERT_TRUE(SucceedsWithin(30000));
    ExpectStagedFromPackage();
    EXPECT_EQ(FolderSnapshot(folder.Path()), package);
    ExitWithCodeZero();
}

} // namespace
