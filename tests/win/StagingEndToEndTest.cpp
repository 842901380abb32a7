// The whole procedure with the real Windows operations: the stand-in package in a
// folder, the staging directory in the Wine prefix's Windows directory, and the stand-in
// setup program really started. Only the window is recorded instead of shown.
#include "staging/PreInstall.h"
#include "tests/win/WinTestSupport.h"
#include "win32/SetupWaiting.h"
#include "win32/Text.h"
#include "win32/WindowsSystem.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <vector>

namespace {

class RecordingWindow : public WindowOps {
public:
    std::vector<std::string> messages;
    bool buttonEnabled = true;
    bool labelVisible = false;

    void ShowMessage(const std::string& text, const std::string&, unsigned) override { messages.push_back(text); }
    void SetPreInstallButtonEnabled(bool enabled) override { buttonEnabled = enabled; }
    void ShowSuccessLabel() override { labelVisible = true; }
};

// A press of the window's button, with the program in `packageFolder`.
PreInstallOutcome Press(RecordingWindow& window, const std::wstring& packageFolder)
{
    WindowsSystem system;
    BlockingWaiting waiting;
    NoStepLog noLog;
    RunReport report(RunKind::Install, noLog, system.errors, system.clock, nullptr, "", "");
    return RunWindowPreInstall(window, system, waiting, report, {Narrow(packageFolder + L"preinstall.exe")});
}

class StagingEndToEnd : public ::testing::Test {
protected:
    const std::wstring staging = WindowsDirectory() + L"\\tovra_driver\\";
    const std::string standInInf = ReadWholeFile(StandInPackage() + L"TOVRA.INF");
    void SetUp() override
    {
        RemoveTree(staging);
        RemoveFromDriverStore(standInInf);
    }
    void TearDown() override
    {
        RemoveTree(staging);
        RemoveFromDriverStore(standInInf);
    }
};

TEST_F(StagingEndToEnd, StagesThePackageAndStartsItsSetup)
{
    ScratchFolder package(L"package_驱动");
    CopyStandInPackage(package.Path());
    RecordingWindow window;
    const PreInstallOutcome outcome = Press(window, package.Path());

    EXPECT_TRUE(window.messages.empty()) << window.messages.front();
    EXPECT_FALSE(window.buttonEnabled);
    EXPECT_TRUE(window.labelVisible);
    // Judged by Windows' driver store: the stand-in setup added its INF there.
    EXPECT_EQ(outcome.setup.verdict, Verdict::Succeeded);
    EXPECT_EQ(DriverStoreCopiesOf(standInInf), std::vector<std::wstring>{Widen(outcome.setup.storeCopy)});
    EXPECT_EQ(outcome.inf.driverVersion, "1.0.0.0");
    EXPECT_EQ(outcome.inf.driverDate, "12/08/2026");
    const std::pair<const wchar_t*, const wchar_t*> copies[] = {{L"TOVRA.EXB", L"TOVRA_SETUP.EXE"},
        {L"TOVRA.INF", L"TOVRA.INF"}, {L"TOVRAWDM.SYS", L"TOVRAWDM.SYS"}, {L"TOVRA.DLL", L"TOVRA.DLL"}};
    for (const auto& [name, stagedName] : copies) {
        const std::string original = ReadWholeFile(package.Path() + name);
        ASSERT_FALSE(original.empty());
        EXPECT_EQ(ReadWholeFile(staging + stagedName), original) << Narrow(stagedName);
    }

    ASSERT_TRUE(WaitForFile(staging + L"setup.log", 10000));
    const std::string log = ReadWholeFile(staging + L"setup.log");
    const std::string stagingFolder = Narrow(staging.substr(0, staging.size() - 1));
    EXPECT_EQ(log,
        "\"" + Narrow(staging) + "TOVRA_SETUP.EXE\" /S\t" + stagingFolder + "\t0\t" + Narrow(staging) + "~temp.1\n");
}

TEST_F(StagingEndToEnd, MissingFileLeavesTheDiskAlone)
{
    ScratchFolder package(L"package_incomplete");
    CopyStandInPackage(package.Path());
    DeleteFileW((package.Path() + L"TOVRAWDM.SYS").c_str());
    RecordingWindow window;
    Press(window, package.Path());

    ASSERT_EQ(window.messages.size(), 1u);
    EXPECT_EQ(window.messages[0], "无法在当前目录下找到TOVRAWDM.SYS文件，驱动安装无法继续!");
    EXPECT_FALSE(PathExists(staging));
    EXPECT_TRUE(window.buttonEnabled);
}

} // namespace
