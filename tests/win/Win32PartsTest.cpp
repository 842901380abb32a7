// The Windows implementations of the portable interfaces, against a real disk and real
// processes.
#include "staging/DriverPackage.h"
#include "staging/StagedFiles.h"
#include "tests/win/SystemError.h"
#include "tests/win/WinTestSupport.h"
#include "win32/Files.h"
#include "win32/LogFile.h"
#include "win32/SetupWaiting.h"
#include "win32/Text.h"
#include "win32/WindowsSystem.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <cstdlib>

namespace {

class Win32PartsTest : public ::testing::Test {
protected:
    ScratchFolder scratch{L"win32_parts"};
    WindowsSystem system;
    Win32Files& files = system.files;
    NoStepLog noLog;

    std::string At(const std::wstring& name) const { return Narrow(scratch.Path() + name); }
    std::wstring WideAt(const std::wstring& name) const { return scratch.Path() + name; }
    unsigned long Replace(const std::wstring& from, const std::wstring& to)
    {
        return ReplaceWithCopy(files, noLog, At(from), At(to));
    }
    // Starts the stand-in setup (copied into the scratch folder) hidden, in a job or not.
    std::unique_ptr<StartedProgram> StartStandIn(bool inJob)
    {
        Result<std::unique_ptr<StartedProgram>> started =
            system.programs.StartSuspended({At(L"TOVRA.EXB"), "/S", Narrow(scratch.Path())}, false);
        if (!started) {
            ADD_FAILURE() << "cannot start the stand-in setup: " << DescribeError(started.Error());
            return nullptr;
        }
        if (inJob) {
            EXPECT_EQ((*started)->PutInNewJob(), 0u);
        }
        (*started)->Resume();
        return std::move(*started);
    }
};

TEST_F(Win32PartsTest, FileExistsOnlyForFiles)
{
    WriteWholeFile(WideAt(L"file.txt"), "x");
    CreateDirectoryW(WideAt(L"folder").c_str(), nullptr);
    EXPECT_TRUE(files.FileExists(At(L"file.txt")));
    EXPECT_FALSE(files.FileExists(At(L"folder")));
    EXPECT_FALSE(files.FileExists(At(L"nothing.txt")));
}

TEST_F(Win32PartsTest, MakeDirectoryAcceptsAnExistingDirectoryButNotAFile)
{
    const Result<bool> created = files.MakeDirectory(At(L"staging"));
    ASSERT_TRUE(created) << DescribeError(created.Error());
    EXPECT_TRUE(*created);
    const Result<bool> found = files.MakeDirectory(At(L"staging"));
    ASSERT_TRUE(found);
    EXPECT_FALSE(*found);
    WriteWholeFile(WideAt(L"occupied"), "a plain file");
    EXPECT_EQ(files.MakeDirectory(At(L"occupied")).Error(), static_cast<unsigned long>(ERROR_ALREADY_EXISTS));
    EXPECT_EQ(files.MakeDirectory(At(L"no\\parent")).Error(), static_cast<unsigned long>(ERROR_PATH_NOT_FOUND));
}

TEST_F(Win32PartsTest, CopyOverwritesEvenAReadOnlyDestination)
{
    WriteWholeFile(WideAt(L"new.bin"), std::string("new\0bytes", 9));
    WriteWholeFile(WideAt(L"old.bin"), "old");
    SetFileAttributesW(WideAt(L"old.bin").c_str(), FILE_ATTRIBUTE_READONLY);
    ASSERT_TRUE(PlainCopyOntoFails(WideAt(L"old.bin"))) << "old.bin is not really read-only: Wine runs as root?";

    EXPECT_EQ(Replace(L"new.bin", L"old.bin"), 0u);
    EXPECT_EQ(ReadWholeFile(WideAt(L"old.bin")), std::string("new\0bytes", 9));
    EXPECT_EQ(Replace(L"missing.bin", L"copy.bin"), static_cast<unsigned long>(ERROR_FILE_NOT_FOUND));
}

TEST_F(Win32PartsTest, CopyToADestinationHeldOpenFails)
{
    WriteWholeFile(WideAt(L"new.bin"), "new");
    WriteWholeFile(WideAt(L"held.bin"), "held");
    const HANDLE held = CreateFileW(
        WideAt(L"held.bin").c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(held, INVALID_HANDLE_VALUE);
    EXPECT_EQ(Replace(L"new.bin", L"held.bin"), static_cast<unsigned long>(ERROR_SHARING_VIOLATION));
    CloseHandle(held);
    EXPECT_EQ(ReadWholeFile(WideAt(L"held.bin")), "held");
}

// A staged name may be a hard link an ordinary user made to a file of the system's: the
// copy replaces the name, and the file's other name keeps its bytes.
TEST_F(Win32PartsTest, CopyOntoAHardLinkReplacesTheNameNotTheLinkedFile)
{
    WriteWholeFile(WideAt(L"package.bin"), "the package's bytes");
    WriteWholeFile(WideAt(L"system.ini"), "a file of the system's");
    ASSERT_TRUE(CreateHardLinkW(WideAt(L"staged.bin").c_str(), WideAt(L"system.ini").c_str(), nullptr))
        << SystemError(GetLastError());
    EXPECT_EQ(Replace(L"package.bin", L"staged.bin"), 0u);
    EXPECT_EQ(ReadWholeFile(WideAt(L"staged.bin")), "the package's bytes");
    EXPECT_EQ(ReadWholeFile(WideAt(L"system.ini")), "a file of the system's");
}

TEST_F(Win32PartsTest, FolderIsProtectedButNeverThroughALink)
{
    ASSERT_TRUE(files.MakeDirectory(At(L"target")));
    EXPECT_EQ(files.ProtectFolder(At(L"target")), 0u);
    WriteWholeFile(WideAt(L"target\\staged.txt"), "the program still writes there");
    MakeFolderLink(WideAt(L"link"), WideAt(L"target"));
    EXPECT_EQ(files.ProtectFolder(At(L"link")), kErrorReparsePointEncountered);
    EXPECT_EQ(files.ProtectFolder(At(L"missing")), static_cast<unsigned long>(ERROR_FILE_NOT_FOUND));
    RemoveFolderLink(WideAt(L"link"));
}

TEST_F(Win32PartsTest, PathsOutsideTheAnsiCodePageWork)
{
    // Thai and Korean exist neither in code page 936 nor in 1252.
    const std::wstring folder = L"ไทย_한국어";
    ASSERT_TRUE(files.MakeDirectory(At(folder)));
    WriteWholeFile(WideAt(L"source.txt"), "payload");
    EXPECT_EQ(Replace(L"source.txt", folder + L"\\copy.txt"), 0u);
    EXPECT_TRUE(files.FileExists(At(folder + L"\\copy.txt")));
    EXPECT_EQ(ReadWholeFile(WideAt(folder + L"\\copy.txt")), "payload");
}

TEST_F(Win32PartsTest, WindowsDirectoryIsTheOneWindowsGives)
{
    const Result<std::string> read = files.WindowsDirectory();
    ASSERT_TRUE(read);
    EXPECT_EQ(*read, Narrow(WindowsDirectory()));
}

TEST_F(Win32PartsTest, StartProgramRunsItHiddenWithParametersAndWorkingDirectory)
{
    CopyStandInPackage(scratch.Path());
    const std::wstring workFolder = WideAt(L"工作");
    CreateDirectoryW(workFolder.c_str(), nullptr);
    CopyTestFile(WideAt(L"TOVRA.EXB"), workFolder + L"\\setup.exe");

    Result<std::unique_ptr<StartedProgram>> started = system.programs.StartSuspended(
        {Narrow(workFolder + L"\\setup.exe"), "/S", Narrow(workFolder + L"\\"), {{"TEMP", At(L"temp")}}}, false);
    ASSERT_TRUE(started) << DescribeError(started.Error());
    StartedProgram& setup = **started;
    EXPECT_NE(setup.ProcessId(), 0u);
    EXPECT_EQ(setup.PutInNewJob(), 0u) << "the setup is not in a job";
    EXPECT_FALSE(WaitForFile(workFolder + L"\\setup.log", 500)) << "it ran before it was resumed";
    setup.Resume();
    ASSERT_TRUE(WaitForFile(workFolder + L"\\setup.log", 10000));
    const std::string log = ReadWholeFile(workFolder + L"\\setup.log");
    EXPECT_NE(log.find("setup.exe\" /S\t"), std::string::npos) << log;
    EXPECT_NE(log.find("\t" + Narrow(workFolder)), std::string::npos) << log;
    EXPECT_NE(log.find("\t0\t"), std::string::npos) << log; // SW_HIDE
    EXPECT_NE(log.find("\t" + At(L"temp") + "\n"), std::string::npos) << "not its own TEMP: " << log;
}

TEST_F(Win32PartsTest, StartProgramReportsWhatCannotBeStarted)
{
    EXPECT_EQ(system.programs.StartSuspended({At(L"missing.exe"), "/S", Narrow(scratch.Path())}, false).Error(),
        static_cast<unsigned long>(ERROR_FILE_NOT_FOUND));
    WriteWholeFile(WideAt(L"broken.exe"), "this is not a program");
    EXPECT_NE(system.programs.StartSuspended({At(L"broken.exe"), "/S", Narrow(scratch.Path())}, false).Error(), 0u);
}

TEST_F(Win32PartsTest, ErrorDescriptionNamesTheCodeAndTheSystemText)
{
    const std::string description = system.errors.DescribeError(ERROR_ACCESS_DENIED);
    EXPECT_EQ(description.rfind("错误代码 5: ", 0), 0u) << description;
    EXPECT_GT(description.size(), std::string("错误代码 5: ").size());
    EXPECT_NE(description.back(), '\n');
    // A SetupAPI code also in hexadecimal, with the text Windows has for its HRESULT, if any.
    const std::string setupApi = system.errors.DescribeError(kErrorDriverStoreAddFailed);
    EXPECT_EQ(setupApi.rfind("错误代码 3758096967 (0xE0000247)", 0), 0u) << setupApi;
}

TEST(ExecutableFilePath, IsTheFullPathOfThisProgram)
{
    const std::string path = ExecutableFilePath();
    EXPECT_EQ(path.substr(path.size() - std::string("win32_parts_tests.exe").size()), "win32_parts_tests.exe");
    EXPECT_EQ(path.substr(1, 2), ":\\");
}

TEST_F(Win32PartsTest, ReplacingClearsReadOnlyHiddenAndSystemOfFilesButNotOfFolders)
{
    constexpr DWORD hiddenSystem = FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM;
    constexpr DWORD blocking = hiddenSystem | FILE_ATTRIBUTE_READONLY;
    const std::wstring file = WideAt(L"staged.inf");
    const std::wstring folder = WideAt(L"folder");
    WriteWholeFile(file, "x");
    CreateDirectoryW(folder.c_str(), nullptr);
    // Wine keeps hidden and system in an extended attribute, which it cannot write once the
    // file is read-only: those two go first. (Wine keeps no read-only folders.)
    SetFileAttributesW(file.c_str(), hiddenSystem);
    SetFileAttributesW(file.c_str(), blocking);
    SetFileAttributesW(folder.c_str(), FILE_ATTRIBUTE_DIRECTORY | hiddenSystem);
    ASSERT_EQ(GetFileAttributesW(file.c_str()) & blocking, blocking) << "this Wine does not keep file attributes";
    ASSERT_EQ(GetFileAttributesW(folder.c_str()) & blocking, hiddenSystem)
        << "this Wine does not keep folder attributes";

    MakeReplaceable(file);
    MakeReplaceable(folder);
    EXPECT_EQ(GetFileAttributesW(file.c_str()) & blocking, 0u);
    EXPECT_EQ(GetFileAttributesW(folder.c_str()) & blocking, hiddenSystem);
    SetFileAttributesW(folder.c_str(), FILE_ATTRIBUTE_NORMAL);
}

TEST_F(Win32PartsTest, FileSizeIsTheWholeSize)
{
    WriteWholeFile(WideAt(L"sized.bin"), std::string(70000, 'x'));
    const Result<std::uint64_t> size = files.FileSize(At(L"sized.bin"));
    ASSERT_TRUE(size);
    EXPECT_EQ(*size, 70000u);
    EXPECT_EQ(files.FileSize(At(L"missing.bin")).Error(), static_cast<unsigned long>(ERROR_FILE_NOT_FOUND));
}

TEST_F(Win32PartsTest, WaitingForTheStartedProgramGivesItsExitCodeOnceItHasEnded)
{
    CopyStandInPackage(scratch.Path());
    const ScopedVariable sleep(L"TOVRA_STANDIN_SLEEP_MS", L"700");
    const ScopedVariable code(L"TOVRA_STANDIN_EXIT_CODE", L"3010");
    const std::unique_ptr<StartedProgram> setup = StartStandIn(true);
    ASSERT_TRUE(setup);
    EXPECT_EQ(setup->WaitForExit(0).Error(), static_cast<unsigned long>(ERROR_TIMEOUT));
    const Result<unsigned long> exitCode = setup->WaitForExit(60000);
    ASSERT_TRUE(exitCode) << DescribeError(exitCode.Error());
    EXPECT_EQ(*exitCode, 3010u);
    EXPECT_TRUE(PathExists(WideAt(L"setup.done"))) << "the wait ended before the program did";
}

// The process a stand-in setup started, by the id it wrote to child.pid; null when none.
HANDLE StandInChild(const std::wstring& folder)
{
    if (!WaitForFile(folder + L"child.pid", 10000))
        return nullptr;
    const std::string id = ReadWholeFile(folder + L"child.pid");
    return OpenProcess(SYNCHRONIZE | PROCESS_TERMINATE, FALSE, std::strtoul(id.c_str(), nullptr, 10));
}

// Without a job the processes a setup started are found by their parent's id and creation
// time, and ended with it.
TEST_F(Win32PartsTest, EndingAProgramInNoJobEndsWhatItStarted)
{
    CopyStandInPackage(scratch.Path());
    const ScopedVariable child(L"TOVRA_STANDIN_CHILD_MS", L"60000");
    const ScopedVariable sleep(L"TOVRA_STANDIN_SLEEP_MS", L"60000");
    const std::unique_ptr<StartedProgram> setup = StartStandIn(false);
    ASSERT_TRUE(setup);
    const HANDLE started = StandInChild(scratch.Path());
    ASSERT_NE(started, nullptr) << ReadWholeFile(WideAt(L"child.pid"));
    EXPECT_EQ(setup->JobStillRuns(), std::nullopt);
    setup->End();
    EXPECT_EQ(WaitForSingleObject(started, 10000), WAIT_OBJECT_0) << "what the setup started lives on";
    TerminateProcess(started, 0);
    CloseHandle(started);
}

// The job lets a process that asks break away (to start something in the user's session,
// say): it starts, and the job does not count it.
TEST_F(Win32PartsTest, ProcessThatAsksToBreakAwayFromTheJobMay)
{
    CopyStandInPackage(scratch.Path());
    const ScopedVariable child(L"TOVRA_STANDIN_BREAKAWAY_CHILD_MS", L"60000");
    const std::unique_ptr<StartedProgram> setup = StartStandIn(true);
    ASSERT_TRUE(setup);
    const HANDLE started = StandInChild(scratch.Path());
    ASSERT_NE(started, nullptr) << "refused: " << ReadWholeFile(WideAt(L"child.pid"));
    ASSERT_TRUE(setup->WaitForExit(30000));
    for (int waited = 0; waited < 5000 && setup->JobStillRuns() != false; waited += 50)
        Sleep(50);
    EXPECT_EQ(setup->JobStillRuns(), false) << "the job counts it";
    EXPECT_EQ(WaitForSingleObject(started, 0), static_cast<DWORD>(WAIT_TIMEOUT));
    TerminateProcess(started, 0);
    CloseHandle(started);
}

// Appends one line through a log opened as the program opens /LOG; the error when refused.
unsigned long LogOneLine(const std::wstring& path, const std::string& line)
{
    const Result<std::unique_ptr<FileStepLog>> log = OpenLogFile(Narrow(path));
    if (!log)
        return log.Error();
    (*log)->Record(line);
    return 0;
}

TEST(FileStepLog, AppendsTimestampedCrLfLinesAfterOneByteOrderMark)
{
    ScratchFolder scratch(L"step_log");
    const std::wstring path = scratch.Path() + L"部署 日志.log";
    ASSERT_EQ(LogOneLine(path, "第一行"), 0u);
    ASSERT_EQ(LogOneLine(path, "second"), 0u);
    const std::string text = ReadWholeFile(path);
    ASSERT_EQ(text.rfind("\xEF\xBB\xBF", 0), 0u) << text;
    EXPECT_EQ(text.find("\xEF\xBB\xBF", 3), std::string::npos) << "a byte-order mark in the middle";
    const std::string firstLine = text.substr(3, text.find("\r\n") + 2 - 3);
    // "YYYY-MM-DD HH:MM:SS.mmm  text"
    ASSERT_EQ(firstLine.size(), 23u + 2 + std::string("第一行\r\n").size()) << firstLine;
    EXPECT_EQ(firstLine.substr(4, 1) + firstLine.substr(10, 1) + firstLine.substr(19, 1), "- .");
    EXPECT_EQ(firstLine.substr(25), "第一行\r\n");
    EXPECT_EQ(text.substr(text.size() - 8), "second\r\n");
    EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 2);
}

TEST(FileStepLog, ALogThatCannotBeOpenedSaysWhy)
{
    ScratchFolder scratch(L"step_log_unwritable");
    EXPECT_NE(LogOneLine(scratch.Path(), "into a folder"), 0u);
    EXPECT_NE(LogOneLine(scratch.Path() + L"no\\such\\folder\\x.log", "nowhere"), 0u);
    EXPECT_FALSE(PathExists(scratch.Path() + L"no"));
}

// The log is opened as SYSTEM where an ordinary user may have prepared the path: it never
// writes through a link to another file.
TEST(FileStepLog, ALogThatIsAHardLinkToAnotherFileIsRefused)
{
    ScratchFolder scratch(L"step_log_hard_link");
    const std::wstring other = scratch.Path() + L"system.ini";
    WriteWholeFile(other, "[the other file]\r\n");
    const std::wstring log = scratch.Path() + L"preinstall.log";
    ASSERT_TRUE(CreateHardLinkW(log.c_str(), other.c_str(), nullptr)) << SystemError(GetLastError());
    EXPECT_EQ(LogOneLine(log, "appended through the link"), ERROR_TOO_MANY_LINKS);
    EXPECT_EQ(ReadWholeFile(other), "[the other file]\r\n");
}

TEST(FileStepLog, ALogBelowAFolderLinkIsRefusedAndNothingIsCreated)
{
    ScratchFolder scratch(L"step_log_folder_link");
    const std::wstring elsewhere = scratch.Path() + L"elsewhere";
    ASSERT_TRUE(CreateDirectoryW(elsewhere.c_str(), nullptr)) << SystemError(GetLastError());
    const std::wstring link = scratch.Path() + L"logs";
    MakeFolderLink(link, elsewhere);
    EXPECT_EQ(LogOneLine(link + L"\\preinstall.log", "created through the link"), kErrorReparsePointEncountered);
    EXPECT_FALSE(PathExists(elsewhere + L"\\preinstall.log"));
    RemoveFolderLink(link);
}

// A drive letter that leads to another folder (SUBST; a mapped network drive is the same to
// the log): the file is the same, whichever path names it, although the paths differ as
// strings. (Wine even names the file by the drive letter when it was opened through C:.)
TEST(FileStepLog, ALogReachedThroughADriveLetterOrItsFolderIsWritten)
{
    ScratchFolder scratch(L"step_log_subst");
    const std::wstring drive = MapDriveLetter(scratch.Path());
    const unsigned long throughTheDrive = LogOneLine(drive + L"\\preinstall.log", "through the drive letter");
    const unsigned long throughTheFolder = LogOneLine(scratch.Path() + L"preinstall.log", "through the folder");
    UnmapDriveLetter(drive);
    EXPECT_EQ(throughTheDrive, 0u) << SystemError(throughTheDrive);
    EXPECT_EQ(throughTheFolder, 0u) << SystemError(throughTheFolder);
    const std::string log = ReadWholeFile(scratch.Path() + L"preinstall.log");
    EXPECT_NE(log.find("through the drive letter"), std::string::npos) << log;
    EXPECT_NE(log.find("through the folder"), std::string::npos) << log;
}

} // namespace

TEST_F(Win32PartsTest, WaitAfterTheSetupEndedUnseenReturnsAtOnce)
{
    // The setup may end between the caller's last look and its wait: that wait must not
    // sleep on the folder alone until its time is up.
    CopyStandInPackage(scratch.Path());
    const ScopedVariable noStore(L"TOVRA_STANDIN_NO_STORE", L"1");
    const std::unique_ptr<StartedProgram> setup = StartStandIn(true);
    ASSERT_TRUE(setup);
    ASSERT_EQ(WaitForSingleObject(dynamic_cast<Win32StartedProgram&>(*setup).Process(), 30000), WAIT_OBJECT_0);
    BlockingWaiting waiting;
    ASSERT_TRUE(CreateDirectoryW(WideAt(L"quiet").c_str(), nullptr));
    waiting.WatchFolder(At(L"quiet"));
    const DWORD start = GetTickCount();
    EXPECT_TRUE(waiting.Wait(*setup, 20000));
    EXPECT_LT(GetTickCount() - start, 5000u) << "the wait did not see that the setup had ended";
    // After that the ended setup wakes nothing: the waits last their time.
    const DWORD next = GetTickCount();
    EXPECT_TRUE(waiting.Wait(*setup, 300));
    EXPECT_GE(GetTickCount() - next, 250u);
}
