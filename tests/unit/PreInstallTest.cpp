// The pre-install procedure against fake window and system operations.
#include "staging/PreInstall.h"
#include "staging/DriverPackage.h"
#include "tests/unit/FakeSystem.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <map>
#include <set>
#include <vector>

namespace {

class PreInstallTest : public FakeRunTest {
protected:
    // Journal entries that change something, leaving out the presence checks, looks into
    // folders and the staged INF's hash.
    Journal Actions() const
    {
        Journal actions;
        for (const auto& entry : journal)
            if (entry.rfind("exists ", 0) != 0 && entry.rfind("list ", 0) != 0 &&
                entry != "hold and hash C:\\WINDOWS\\tovra_driver\\TOVRA.INF" && entry != "release held file")
                actions.push_back(entry);
        return actions;
    }
    bool WroteAnything() const
    {
        for (const auto& entry : journal)
            if (entry.rfind("mkdir", 0) == 0 || entry.rfind("protect", 0) == 0 || entry.rfind("copy", 0) == 0 ||
                entry.rfind("start", 0) == 0)
                return true;
        return false;
    }
    void ExpectWindowUntouched() const
    {
        EXPECT_TRUE(window.buttonEnabled);
        EXPECT_FALSE(window.labelVisible);
    }
};

TEST_F(PreInstallTest, CompletePackageIsStagedThenStartedInOrder)
{
    Press();
    const Journal expected = {
        "mkdir C:\\WINDOWS\\tovra_driver",
        "protect C:\\WINDOWS\\tovra_driver",
        "copy C:\\Package\\TOVRA.EXB -> C:\\WINDOWS\\tovra_driver\\TOVRA_SETUP.EXE",
        "copy C:\\Package\\TOVRA.INF -> C:\\WINDOWS\\tovra_driver\\TOVRA.INF",
        "copy C:\\Package\\TOVRAWDM.SYS -> C:\\WINDOWS\\tovra_driver\\TOVRAWDM.SYS",
        "copy C:\\Package\\TOVRA.DLL -> C:\\WINDOWS\\tovra_driver\\TOVRA.DLL",
        "mkdir C:\\WINDOWS\\tovra_driver\\~temp.1", // the setup's TEMP, removed once it has ended
        "disable button",
        "start C:\\WINDOWS\\tovra_driver\\TOVRA_SETUP.EXE /S in C:\\WINDOWS\\tovra_driver\\",
        "setup ended 0",
        "rmdir C:\\WINDOWS\\tovra_driver\\~temp.1",
        "show label",
    };
    EXPECT_EQ(Actions(), expected);
    EXPECT_FALSE(window.buttonEnabled);
    EXPECT_TRUE(window.labelVisible);
    EXPECT_TRUE(window.messages.empty());
}

TEST_F(PreInstallTest, PresenceIsCheckedInManifestOrderBesideTheExecutable)
{
    programPath = "D:\\驱动\\setup\\preinstall.exe";
    system.files.clear();
    Press();
    ASSERT_EQ(journal.size(), 2u);
    EXPECT_EQ(journal[0], "exists D:\\驱动\\setup\\TOVRA.EXB");
    EXPECT_EQ(journal[1].rfind("message 警告 16 ", 0), 0u);
}

TEST_F(PreInstallTest, OnlyTheFirstMissingFileIsReportedAndNothingIsWritten)
{
    struct Case {
        std::vector<std::string> missing;
        std::string reported;
    };
    const std::vector<Case> cases = {
        {{"TOVRA.EXB"}, "无法在当前目录下找到TOVRA.EXB文件，驱动安装无法继续!"},
        {{"TOVRA.INF", "TOVRA.DLL"}, "无法在当前目录下找到TOVRA.INF文件，驱动安装无法继续!"},
        {{"TOVRAWDM.SYS"}, "无法在当前目录下找到TOVRAWDM.SYS文件，驱动安装无法继续!"},
        {{"TOVRA.DLL"}, "无法在当前目录下找到TOVRA.DLL文件，驱动安装无法继续!"},
    };
    for (const auto& c : cases) {
        journal.clear();
        window.messages.clear();
        SetUp();
        system.files.clear();
        system.AddPackage("C:\\Package\\");
        for (const auto& name : c.missing)
            system.files.erase("C:\\Package\\" + name);
        Press();
        SCOPED_TRACE(c.reported);
        EXPECT_EQ(Actions(), Journal{"message 警告 16 " + c.reported});
        EXPECT_FALSE(WroteAnything());
        ExpectWindowUntouched();
    }
}

TEST_F(PreInstallTest, WindowsDirectoryFailureStopsBeforeWriting)
{
    system.windowsDirectoryError = 5;
    Press();
    EXPECT_EQ(Actions(), Journal{"message 警告 48 加载系统目录失败，请重新[预装程序]!"});
    ExpectWindowUntouched();
}

TEST_F(PreInstallTest, PackageAtADriveRootIsFoundWithoutADoubledBackslash)
{
    programPath = "E:\\preinstall.exe";
    system.files.clear();
    system.AddPackage("E:\\");
    Press();
    const Journal actions = Actions();
    ASSERT_GE(actions.size(), 3u);
    EXPECT_EQ(actions[2], "copy E:\\TOVRA.EXB -> C:\\WINDOWS\\tovra_driver\\TOVRA_SETUP.EXE");
}

TEST_F(PreInstallTest, DirectoryFailureIsReportedAndNothingIsCopiedOrStarted)
{
    system.mkdirError = 5;
    Press();
    EXPECT_EQ(Actions(),
        (Journal{"mkdir C:\\WINDOWS\\tovra_driver",
            "message 警告 16 无法创建目录C:\\WINDOWS\\tovra_driver，驱动安装无法继续!\nerror 5"}));
    ExpectWindowUntouched();
}

TEST_F(PreInstallTest, EveryCopyIsTriedAndTheFirstFailureIsReported)
{
    system.copyErrors["C:\\WINDOWS\\tovra_driver\\TOVRA.INF"] = 32;
    system.copyErrors["C:\\WINDOWS\\tovra_driver\\TOVRA.DLL"] = 5;
    Press();
    const Journal actions = Actions();
    ASSERT_EQ(actions.size(), 7u);
    EXPECT_EQ(actions[5], "copy C:\\Package\\TOVRA.DLL -> C:\\WINDOWS\\tovra_driver\\TOVRA.DLL");
    EXPECT_EQ(actions[6], "message 警告 16 无法复制TOVRA.INF文件，驱动安装无法继续!\nerror 32");
    ExpectWindowUntouched();
}

TEST_F(PreInstallTest, LaunchFailureEnablesTheButtonAgainAndKeepsTheLabelHidden)
{
    system.startError = 193;
    Press();
    const Journal actions = Actions();
    ASSERT_EQ(actions.size(), 12u);
    EXPECT_EQ(actions[7], "disable button");
    EXPECT_EQ(actions[8].rfind("start ", 0), 0u);
    EXPECT_EQ(actions[9], "enable button");
    EXPECT_EQ(actions[10], "message 警告 16 无法启动TOVRA_SETUP.EXE，驱动安装无法继续!\nerror 193");
    EXPECT_EQ(actions[11], "rmdir C:\\WINDOWS\\tovra_driver\\~temp.1");
    ExpectWindowUntouched();
}

TEST_F(PreInstallTest, AFixedFailureCanBeRetried)
{
    system.files.erase("C:\\Package\\TOVRAWDM.SYS");
    Press();
    EXPECT_TRUE(window.buttonEnabled);
    system.files.insert("C:\\Package\\TOVRAWDM.SYS");
    Press();
    EXPECT_FALSE(window.buttonEnabled);
    EXPECT_TRUE(window.labelVisible);
}

TEST_F(PreInstallTest, LogNamesWhatFailedAndTheSystemsText)
{
    system.files.erase("C:\\Package\\TOVRAWDM.SYS");
    Press();
    ASSERT_EQ(log.lines.size(), 6u);
    EXPECT_EQ(log.lines[3], "检查 C:\\Package\\TOVRAWDM.SYS: 缺少");
    EXPECT_EQ(log.lines[4], "警告: 无法在当前目录下找到TOVRAWDM.SYS文件，驱动安装无法继续!");
    EXPECT_EQ(log.lines[5].rfind("结果: 失败, 退出代码 2 (0x00000002): error 2", 0), 0u) << log.lines[5];

    log.lines.clear();
    system.files.insert("C:\\Package\\TOVRAWDM.SYS");
    system.disk["C:\\WINDOWS\\tovra_driver"] = PathKind::Folder;
    system.copyErrors["C:\\WINDOWS\\tovra_driver\\TOVRA.INF"] = 32;
    Press();
    EXPECT_NE(
        std::find(log.lines.begin(), log.lines.end(), "暂存目录 C:\\WINDOWS\\tovra_driver: 已存在"), log.lines.end());
    EXPECT_NE(std::find(log.lines.begin(), log.lines.end(),
                  "复制 C:\\Package\\TOVRA.INF -> C:\\WINDOWS\\tovra_driver\\TOVRA.INF 失败: error 32"),
        log.lines.end());
    EXPECT_EQ(log.lines.back().rfind("结果: 失败, 退出代码 32 (0x00000020): error 32", 0), 0u) << log.lines.back();
}

// ---- the window's verdict: the label only for success, and why not otherwise

TEST_F(PreInstallTest, LabelShowsOnlyAfterTheSetupEndedAndItsPackageIsInTheStore)
{
    system.setupRunsMs = 5000;
    system.storeCopyAtMs = 4000;
    const PreInstallOutcome outcome = Press();
    EXPECT_EQ(outcome.setup.verdict, Verdict::Succeeded);
    EXPECT_EQ(outcome.setup.storeCopy, "oem1.inf");
    ASSERT_TRUE(report.Last()) << "the run's summary, for the window's event";
    EXPECT_EQ(report.Last()->exitCode, 0u);
    EXPECT_EQ(report.Last()->storeCopy, "oem1.inf");
    const Journal actions = Actions();
    ASSERT_GE(actions.size(), 3u);
    EXPECT_EQ(actions[actions.size() - 3], "setup ended 0");
    EXPECT_EQ(actions.back(), "show label");
    EXPECT_TRUE(waiting.watched.empty()) << "the store was watched while only the setup was awaited";
    EXPECT_TRUE(window.messages.empty());
}

TEST_F(PreInstallTest, WindowClosedWhileTheSetupRunsLeavesEverythingAlone)
{
    system.setupRunsMs = 5000;
    waiting.closeAfterWaits = 0;
    const PreInstallOutcome outcome = Press();
    EXPECT_EQ(outcome.setup.verdict, Verdict::Abandoned);
    EXPECT_FALSE(report.Last()) << "a run the window left has no result to report";
    EXPECT_FALSE(window.labelVisible);
    EXPECT_FALSE(window.buttonEnabled) << "the window is gone; nothing to enable";
    EXPECT_TRUE(window.messages.empty());
    EXPECT_EQ(std::count(journal.begin(), journal.end(), "end setup"), 0) << "the setup goes on";
}

TEST_F(PreInstallTest, FailedSetupOrAPackageNotInTheStoreIsToldAndTheButtonComesBack)
{
    struct Case {
        const char* name;
        std::function<void(FakeSystem&)> arrange;
        std::string message;
    };
    const std::vector<Case> cases = {
        {"setup failed", [](FakeSystem& s) { s.setupExitCode = 1603; },
            "驱动安装程序执行失败(返回代码 1603)，驱动安装无法继续!"},
        {"setup asks to be retried", [](FakeSystem& s) { s.setupExitCode = 1618; },
            "驱动安装程序执行失败(返回代码 1618)，驱动安装无法继续!"},
        {"nothing in the store", [](FakeSystem& s) { s.storeCopyAtMs.reset(); },
            "驱动安装程序已结束，但驱动程序包未添加到驱动程序存储中，驱动安装无法继续!"},
        {"wait failed", [](FakeSystem& s) { s.waitError = 6; },
            "无法等待TOVRA_SETUP.EXE结束，驱动安装无法继续!\nerror 6"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        journal.clear();
        FreshSystem freshRun(journal);
        FakeSystem& fresh = freshRun.system;
        c.arrange(fresh);
        FakeWindow freshWindow(journal);
        Press(freshWindow, fresh, freshRun.waiting, log);
        EXPECT_EQ(freshWindow.messages, std::vector<std::string>{c.message});
        EXPECT_EQ(journal.back(), "enable button");
        EXPECT_FALSE(freshWindow.labelVisible);
    }
}

TEST_F(PreInstallTest, RestartRequestFollowsTheLabelInAnInformationBox)
{
    for (const unsigned long code : {3010ul, 1641ul}) {
        journal.clear();
        FreshSystem freshRun(journal);
        freshRun.system.setupExitCode = code;
        FakeWindow fresh(journal);
        Press(fresh, freshRun.system, freshRun.waiting, log);
        ASSERT_GE(journal.size(), 2u);
        EXPECT_EQ(journal[journal.size() - 2], "show label");
        EXPECT_EQ(
            journal.back(), "message IC卡读写器USB程序安装 64 预装成功，请重新启动计算机后再将读写器插到电脑上。");
    }
}

TEST_F(PreInstallTest, BootstrapperIsWaitedForUntilItsChildAddsThePackage)
{
    system.setupRunsMs = 100;            // the bootstrapper ends at once...
    system.storeCopyAtMs = 3000;         // ...its child adds the package later...
    system.startedProgramsRunMs = 60000; // ...and lingers on after that
    const std::uint32_t start = system.now;
    EXPECT_EQ(Press().setup.verdict, Verdict::Succeeded);
    EXPECT_TRUE(window.labelVisible);
    EXPECT_GE(system.now - start, 3000u);
    EXPECT_LT(system.now - start, 3500u) << "waited for a process that lingers after the package arrived";
    EXPECT_EQ(waiting.watched, std::vector<std::string>{"C:\\WINDOWS\\inf\\"});
}

TEST_F(PreInstallTest, WhatTheSetupStartedIsWaitedForOnlyWhileItRunsAndAtMostTwoMinutes)
{
    struct Case {
        const char* name;
        bool inJob;
        std::uint32_t startedProgramsRunMs;
        std::uint32_t decidedAfterMs;
    };
    const std::vector<Case> cases = {
        {"they end after 10 s", true, 10000, 10000},
        {"they run on", true, 3600000, 120000},
        // Without a job nothing tells that what it started has ended: only the limit does.
        {"no job, they end after 10 s", false, 10000, 120000},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        FreshSystem freshRun(journal);
        FakeSystem& fresh = freshRun.system;
        fresh.storeCopyAtMs.reset();
        fresh.startedProgramsRunMs = c.startedProgramsRunMs;
        fresh.inOuterJob = !c.inJob; // Windows 7, in a job that lets nothing break away
        fresh.nestedJobs = false;
        const std::uint32_t start = fresh.now;
        EXPECT_EQ(Press(window, fresh, freshRun.waiting, log).setup.verdict, Verdict::NotInDriverStore);
        EXPECT_GE(fresh.now - start, c.decidedAfterMs);
        EXPECT_LT(fresh.now - start, c.decidedAfterMs + 500);
        EXPECT_EQ(std::count(journal.begin(), journal.end(), "end setup"), 0) << "what it started is never ended";
    }
}

TEST_F(PreInstallTest, InfThatCannotBeReadOrHasNoModelsForThisWindowsStopsBeforeWriting)
{
    struct Case {
        const char* name;
        std::function<void(FakeSystem&)> arrange;
        std::string message;
        unsigned long code;
    };
    const std::vector<Case> cases = {
        {"not an INF",
            [](FakeSystem& s) {
                s.packageInf.reset();
                s.infError = 13;
            },
            "无法读取TOVRA.INF文件，驱动安装无法继续!\nerror 13", 13},
        {"x86 models on 64-bit Windows",
            [](FakeSystem& s) {
                s.packageInf->manufacturers = {ManufacturerModels{"Models", {{"NTx86", 2}}, 0}};
                s.windows.architecture = "amd64";
            },
            "TOVRA.INF文件中没有适用于本机Windows(64位)的驱动程序，驱动安装无法继续!", 1633},
        {"amd64 models on 32-bit Windows",
            [](FakeSystem& s) {
                s.packageInf->manufacturers = {ManufacturerModels{"Models", {{"NTamd64", 2}}, 0}};
                s.windows.architecture = "x86";
            },
            "TOVRA.INF文件中没有适用于本机Windows(32位)的驱动程序，驱动安装无法继续!", 1633},
        {"no ARM64 models",
            [](FakeSystem& s) {
                s.packageInf->manufacturers = {ManufacturerModels{"Models", {{"NTx86", 2}, {"NTamd64", 2}}, 0}};
                s.windows.architecture = "arm64";
            },
            "TOVRA.INF文件中没有适用于本机Windows(ARM64)的驱动程序，驱动安装无法继续!", 1633},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        journal.clear();
        FreshSystem freshRun(journal);
        FakeSystem& fresh = freshRun.system;
        c.arrange(fresh);
        FakeWindow freshWindow(journal);
        EXPECT_EQ(DeploymentExitCode(Press(freshWindow, fresh, freshRun.waiting, log)), c.code);
        EXPECT_EQ(freshWindow.messages, std::vector<std::string>{c.message});
        EXPECT_EQ(fresh.lastInfRead, "C:\\Package\\TOVRA.INF");
        EXPECT_FALSE(WroteAnything());
        EXPECT_TRUE(freshWindow.buttonEnabled);
    }
}

// The staging folder is written as SYSTEM: never through a link someone left at its name,
// and never before the folder is closed to ordinary users.
TEST_F(PreInstallTest, StagingPathThatIsALinkIsRefusedBeforeAnythingIsWritten)
{
    system.disk["C:\\WINDOWS\\tovra_driver"] = PathKind::Link;
    EXPECT_EQ(Press().error, kErrorReparsePointEncountered);
    EXPECT_EQ(Actions(),
        Journal{"message 警告 16 目录C:\\WINDOWS\\tovra_driver是一个链接，不能向其中复制文件，驱动安装无法继续!"
                "\nerror 4395"});
    ExpectWindowUntouched();
}

TEST_F(PreInstallTest, FolderThatCannotBeClosedToUsersIsNotCopiedInto)
{
    system.protectError = 1307;
    EXPECT_EQ(Press().error, 1307u);
    EXPECT_EQ(Actions(),
        (Journal{"mkdir C:\\WINDOWS\\tovra_driver", "protect C:\\WINDOWS\\tovra_driver",
            "message 警告 16 无法设置目录C:\\WINDOWS\\tovra_driver的访问权限，驱动安装无法继续!\nerror 1307"}));
    ExpectWindowUntouched();
}

// With an expected SHA-256, the setup that starts is the staged file that has it.
class PinnedSetupTest : public PreInstallTest {
protected:
    const std::string stagedSetup = "C:\\WINDOWS\\tovra_driver\\TOVRA_SETUP.EXE";
    void SetUp() override
    {
        PreInstallTest::SetUp();
        system.bytes["C:\\Package\\TOVRA.EXB"] = "the setup the administrator tested";
    }
    PreInstallOutcome RunPinned(const std::string& sha256) { return FakeRunTest::Press(sha256); }
    std::size_t Position(const std::string& prefix) const
    {
        const auto found = std::find_if(
            journal.begin(), journal.end(), [&](const std::string& entry) { return entry.rfind(prefix, 0) == 0; });
        return static_cast<std::size_t>(found - journal.begin());
    }
};

TEST_F(PinnedSetupTest, StagedCopyIsHashedAfterEveryCopyAndHeldUntilItStarted)
{
    const PreInstallOutcome outcome = RunPinned(FakeSha256("the setup the administrator tested"));
    EXPECT_EQ(DeploymentExitCode(outcome), 0u);
    // The staged copy is what starts: a package file hashed before it is copied could
    // change in between.
    ASSERT_LT(Position("hold and hash " + stagedSetup), journal.size()) << "the staged setup was not hashed";
    EXPECT_EQ(std::count(journal.begin(), journal.end(), "hold and hash " + stagedSetup), 1);
    EXPECT_GT(Position("hold and hash " + stagedSetup), Position("copy C:\\Package\\TOVRA.DLL"));
    EXPECT_LT(Position("hold and hash"), Position("start "));
    EXPECT_TRUE(system.heldAtStart) << "the file could change between the hash and the start";
    EXPECT_EQ(journal.at(Position("start ") + 1), "release held file");
    EXPECT_FALSE(system.fileHeld) << "still held after the start";
    EXPECT_TRUE(log.Has(std::string(" 的 SHA-256: ") + FakeSha256("the setup the administrator tested")));
}

TEST_F(PinnedSetupTest, AnotherSetupIsNotStartedAndTheButtonStaysUsable)
{
    const PreInstallOutcome outcome = RunPinned(FakeSha256("the setup the administrator tested, v0"));
    EXPECT_EQ(DeploymentExitCode(outcome), kErrorInvalidImageHash);
    EXPECT_EQ(Position("start "), journal.size()) << "a setup that is not the tested one was started";
    EXPECT_EQ(window.messages, std::vector<std::string>{"TOVRA.EXB文件与指定的SHA-256校验值不符，驱动安装无法继续!"});
    ExpectWindowUntouched();
    EXPECT_FALSE(system.fileHeld);
    // Both hashes, for the administrator to compare.
    EXPECT_TRUE(log.Has(FakeSha256("the setup the administrator tested") +
        "，指定值: " + FakeSha256("the setup the administrator tested, v0") + "，不符"));
}

TEST_F(PinnedSetupTest, StagedSetupThatCannotBeReadIsNotStarted)
{
    system.hashError = 32;
    EXPECT_EQ(DeploymentExitCode(RunPinned(FakeSha256("anything"))), 32u);
    EXPECT_EQ(Position("start "), journal.size());
    EXPECT_EQ(
        window.messages, std::vector<std::string>{"无法计算TOVRA.EXB文件的SHA-256校验值，驱动安装无法继续!\nerror 32"});
}

} // namespace
