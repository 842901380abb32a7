// The pre-install procedure against fake window and system operations.
#include "staging/PreInstall.h"
#include "staging/DriverPackage.h"
#include "tests/unit/FakeOps.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <map>
#include <set>
#include <vector>

namespace {

class PreInstallTest : public ::testing::Test {
protected:
    Journal journal;
    FakeWindow window{journal};
    FakeSystem system{journal};

    void SetUp() override
    {
        for (const auto& file : kDriverPackage)
            system.files.insert(std::string("C:\\Package\\") + file.name);
    }
    NoStepLog noLog;
    PreInstallOutcome Run() { return RunPreInstall(window, system, noLog, SetupWait::No); }

    // Journal entries that change something, leaving out the presence checks.
    Journal Actions() const
    {
        Journal actions;
        for (const auto& entry : journal)
            if (entry.rfind("exists ", 0) != 0)
                actions.push_back(entry);
        return actions;
    }
    bool WroteAnything() const
    {
        for (const auto& entry : journal)
            if (entry.rfind("mkdir", 0) == 0 || entry.rfind("copy", 0) == 0 || entry.rfind("start", 0) == 0)
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
    Run();
    const Journal expected = {
        "mkdir C:\\WINDOWS\\tovra_driver",
        "copy C:\\Package\\TOVRA.EXB -> C:\\WINDOWS\\tovra_driver\\TOVRA_SETUP.EXE",
        "copy C:\\Package\\TOVRA.INF -> C:\\WINDOWS\\tovra_driver\\TOVRA.INF",
        "copy C:\\Package\\TOVRAWDM.SYS -> C:\\WINDOWS\\tovra_driver\\TOVRAWDM.SYS",
        "copy C:\\Package\\TOVRA.DLL -> C:\\WINDOWS\\tovra_driver\\TOVRA.DLL",
        "disable button",
        "start C:\\WINDOWS\\tovra_driver\\TOVRA_SETUP.EXE /S in C:\\WINDOWS\\tovra_driver\\",
        "show label",
    };
    EXPECT_EQ(Actions(), expected);
    EXPECT_FALSE(window.buttonEnabled);
    EXPECT_TRUE(window.labelVisible);
    EXPECT_TRUE(window.messages.empty());
}

TEST_F(PreInstallTest, PresenceIsCheckedInManifestOrderBesideTheExecutable)
{
    window.exePath = "D:\\驱动\\setup\\preinstall.exe";
    system.files.clear();
    Run();
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
        for (const auto& name : c.missing)
            system.files.erase("C:\\Package\\" + name);
        Run();
        SCOPED_TRACE(c.reported);
        EXPECT_EQ(Actions(), Journal{"message 警告 16 " + c.reported});
        EXPECT_FALSE(WroteAnything());
        ExpectWindowUntouched();
    }
}

TEST_F(PreInstallTest, WindowsDirectoryFailureOfEitherQueryStopsBeforeWriting)
{
    for (const bool firstFails : {true, false}) {
        journal.clear();
        system.firstQueryFails = firstFails;
        system.secondQueryFails = !firstFails;
        Run();
        EXPECT_EQ(Actions(), Journal{"message 警告 48 加载系统目录失败，请重新[预装程序]!"});
        ExpectWindowUntouched();
    }
}

TEST_F(PreInstallTest, SecondQueryGetsOneMoreThanTheReportedSize)
{
    Run();
    EXPECT_EQ(system.bufferSizes, std::vector<std::size_t>{std::string("C:\\WINDOWS").size() + 2});
}

TEST_F(PreInstallTest, TrailingBackslashesAreNeverDoubled)
{
    system.windowsDirectory = "C:\\";
    window.exePath = "E:\\preinstall.exe";
    system.files.clear();
    for (const auto& file : kDriverPackage)
        system.files.insert(std::string("E:\\") + file.name);
    Run();
    const Journal actions = Actions();
    ASSERT_GE(actions.size(), 2u);
    EXPECT_EQ(actions[0], "mkdir C:\\tovra_driver");
    EXPECT_EQ(actions[1], "copy E:\\TOVRA.EXB -> C:\\tovra_driver\\TOVRA_SETUP.EXE");
}

TEST_F(PreInstallTest, DirectoryFailureIsReportedAndNothingIsCopiedOrStarted)
{
    system.mkdirError = 5;
    Run();
    EXPECT_EQ(Actions(),
        (Journal{"mkdir C:\\WINDOWS\\tovra_driver",
            "message 警告 16 无法创建目录C:\\WINDOWS\\tovra_driver，驱动安装无法继续!\nerror 5"}));
    ExpectWindowUntouched();
}

TEST_F(PreInstallTest, EveryCopyIsTriedAndTheFirstFailureIsReported)
{
    system.copyErrors["C:\\WINDOWS\\tovra_driver\\TOVRA.INF"] = 32;
    system.copyErrors["C:\\WINDOWS\\tovra_driver\\TOVRA.DLL"] = 5;
    Run();
    const Journal actions = Actions();
    ASSERT_EQ(actions.size(), 6u);
    EXPECT_EQ(actions[4], "copy C:\\Package\\TOVRA.DLL -> C:\\WINDOWS\\tovra_driver\\TOVRA.DLL");
    EXPECT_EQ(actions[5], "message 警告 16 无法复制TOVRA.INF文件，驱动安装无法继续!\nerror 32");
    ExpectWindowUntouched();
}

TEST_F(PreInstallTest, LaunchFailureEnablesTheButtonAgainAndKeepsTheLabelHidden)
{
    system.startError = 193;
    Run();
    const Journal actions = Actions();
    ASSERT_EQ(actions.size(), 9u);
    EXPECT_EQ(actions[5], "disable button");
    EXPECT_EQ(actions[6].rfind("start ", 0), 0u);
    EXPECT_EQ(actions[7], "enable button");
    EXPECT_EQ(actions[8], "message 警告 16 无法启动TOVRA_SETUP.EXE，驱动安装无法继续!\nerror 193");
    ExpectWindowUntouched();
}

TEST_F(PreInstallTest, AFixedFailureCanBeRetried)
{
    system.files.erase("C:\\Package\\TOVRAWDM.SYS");
    Run();
    EXPECT_TRUE(window.buttonEnabled);
    system.files.insert("C:\\Package\\TOVRAWDM.SYS");
    Run();
    EXPECT_FALSE(window.buttonEnabled);
    EXPECT_TRUE(window.labelVisible);
}

} // namespace

namespace {

class RecordingLog : public StepLog {
public:
    std::vector<std::string> lines;
    void Record(const std::string& line) override { lines.push_back(line); }
};

TEST_F(PreInstallTest, EachFailureEndsInTheCodeOfItsStepAndNeverInZero)
{
    struct Case {
        const char* name;
        std::function<void(FakeSystem&)> arrange;
        unsigned long code;
    };
    const std::vector<Case> cases = {
        {"missing file", [](FakeSystem& s) { s.files.erase("C:\\Package\\TOVRA.DLL"); }, 2},
        {"Windows directory with a code", [](FakeSystem& s) { s.firstQueryFails = true, s.queryError = 5; }, 5},
        {"Windows directory without a code", [](FakeSystem& s) { s.secondQueryFails = true; }, 1603},
        {"staging path is a file", [](FakeSystem& s) { s.mkdirError = 183; }, 183},
        {"disk full", [](FakeSystem& s) { s.copyErrors["C:\\WINDOWS\\tovra_driver\\TOVRA.INF"] = 112; }, 112},
        {"setup is not a program", [](FakeSystem& s) { s.startError = 193; }, 193},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        FakeSystem fresh(journal);
        for (const auto& file : kDriverPackage)
            fresh.files.insert(std::string("C:\\Package\\") + file.name);
        c.arrange(fresh);
        const PreInstallOutcome outcome = RunPreInstall(window, fresh, noLog, SetupWait::Yes);
        EXPECT_EQ(outcome.error, c.code);
        EXPECT_EQ(DeploymentExitCode(outcome), c.code);
    }
}

TEST_F(PreInstallTest, WaitingRunWaitsOnlyAfterTheSetupStartedAndTheLabelShows)
{
    system.setupExitCode = 7;
    const PreInstallOutcome outcome = RunPreInstall(window, system, noLog, SetupWait::Yes);
    const Journal actions = Actions();
    ASSERT_EQ(actions.size(), 9u);
    EXPECT_EQ(actions[7], "show label");
    EXPECT_EQ(actions[8], "wait");
    EXPECT_EQ(outcome.setupExitCode, std::optional<unsigned long>(7));

    journal.clear();
    EXPECT_EQ(Run().setupExitCode, std::nullopt);
    EXPECT_EQ(std::count(journal.begin(), journal.end(), "wait"), 0);
}

TEST_F(PreInstallTest, SetupCodesBecomeTheCodesDeploymentToolsKnow)
{
    const std::pair<unsigned long, unsigned long> codes[] = {{0, 0}, {1707, 0}, {3010, 3010}, {1641, 1641},
        {1618, 1618}, {1, 1603}, {5, 1603}, {1603, 1603}, {0xC0000005, 1603}};
    for (const auto& [setupCode, exitCode] : codes)
        EXPECT_EQ(DeploymentExitCode({0, setupCode}), exitCode) << "setup exit code " << setupCode;
    EXPECT_EQ(DeploymentExitCode({}), 0u) << "started, not waited for";

    system.waitError = 6;
    EXPECT_EQ(DeploymentExitCode(RunPreInstall(window, system, noLog, SetupWait::Yes)), 6u);
}

TEST_F(PreInstallTest, LogHasALinePerStepAndTheResult)
{
    RecordingLog log;
    system.setupExitCode = 3010;
    RunPreInstall(window, system, log, SetupWait::Yes);
    const std::vector<std::string> expected = {
        "驱动包目录: C:\\Package\\",
        "检查 C:\\Package\\TOVRA.EXB: 存在",
        "检查 C:\\Package\\TOVRA.INF: 存在",
        "检查 C:\\Package\\TOVRAWDM.SYS: 存在",
        "检查 C:\\Package\\TOVRA.DLL: 存在",
        "TOVRA.INF 的 [Manufacturer] 有这些平台的型号: 无修饰; 本机 Windows: x86",
        "Windows 目录: C:\\WINDOWS",
        "暂存目录 C:\\WINDOWS\\tovra_driver: 已创建",
        "复制 C:\\Package\\TOVRA.EXB -> C:\\WINDOWS\\tovra_driver\\TOVRA_SETUP.EXE: 39 字节",
        "复制 C:\\Package\\TOVRA.INF -> C:\\WINDOWS\\tovra_driver\\TOVRA.INF: 33 字节",
        "复制 C:\\Package\\TOVRAWDM.SYS -> C:\\WINDOWS\\tovra_driver\\TOVRAWDM.SYS: 36 字节",
        "复制 C:\\Package\\TOVRA.DLL -> C:\\WINDOWS\\tovra_driver\\TOVRA.DLL: 33 字节",
        "已启动 \"C:\\WINDOWS\\tovra_driver\\TOVRA_SETUP.EXE\" /S, 进程 ID 4242",
        "安装程序退出代码: 3010",
        "结果: 成功, 需要重新启动, 退出代码 3010",
    };
    EXPECT_EQ(log.lines, expected);
}

TEST_F(PreInstallTest, LogNamesWhatFailedAndTheSystemsText)
{
    RecordingLog log;
    system.files.erase("C:\\Package\\TOVRAWDM.SYS");
    Run();
    RunPreInstall(window, system, log, SetupWait::Yes);
    ASSERT_EQ(log.lines.size(), 6u);
    EXPECT_EQ(log.lines[3], "检查 C:\\Package\\TOVRAWDM.SYS: 缺少");
    EXPECT_EQ(log.lines[4], "警告: 无法在当前目录下找到TOVRAWDM.SYS文件，驱动安装无法继续!");
    EXPECT_EQ(log.lines[5], "结果: 失败, 退出代码 2: error 2");

    log.lines.clear();
    system.files.insert("C:\\Package\\TOVRAWDM.SYS");
    system.directoryExisted = true;
    system.copyErrors["C:\\WINDOWS\\tovra_driver\\TOVRA.INF"] = 32;
    RunPreInstall(window, system, log, SetupWait::Yes);
    EXPECT_NE(
        std::find(log.lines.begin(), log.lines.end(), "暂存目录 C:\\WINDOWS\\tovra_driver: 已存在"), log.lines.end());
    EXPECT_NE(std::find(log.lines.begin(), log.lines.end(),
                  "复制 C:\\Package\\TOVRA.INF -> C:\\WINDOWS\\tovra_driver\\TOVRA.INF 失败: error 32"),
        log.lines.end());
    EXPECT_EQ(log.lines.back(), "结果: 失败, 退出代码 32: error 32");
}

} // namespace
