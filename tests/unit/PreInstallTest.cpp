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
    PreInstallOutcome Run() { return RunPreInstall(window, system, noLog); }

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

TEST_F(PreInstallTest, LogNamesWhatFailedAndTheSystemsText)
{
    RecordingLog log;
    system.files.erase("C:\\Package\\TOVRAWDM.SYS");
    Run();
    RunPreInstall(window, system, log);
    ASSERT_EQ(log.lines.size(), 6u);
    EXPECT_EQ(log.lines[3], "检查 C:\\Package\\TOVRAWDM.SYS: 缺少");
    EXPECT_EQ(log.lines[4], "警告: 无法在当前目录下找到TOVRAWDM.SYS文件，驱动安装无法继续!");
    EXPECT_EQ(log.lines[5], "结果: 失败, 退出代码 2: error 2");

    log.lines.clear();
    system.files.insert("C:\\Package\\TOVRAWDM.SYS");
    system.directoryExisted = true;
    system.copyErrors["C:\\WINDOWS\\tovra_driver\\TOVRA.INF"] = 32;
    RunPreInstall(window, system, log);
    EXPECT_NE(
        std::find(log.lines.begin(), log.lines.end(), "暂存目录 C:\\WINDOWS\\tovra_driver: 已存在"), log.lines.end());
    EXPECT_NE(std::find(log.lines.begin(), log.lines.end(),
                  "复制 C:\\Package\\TOVRA.INF -> C:\\WINDOWS\\tovra_driver\\TOVRA.INF 失败: error 32"),
        log.lines.end());
    EXPECT_EQ(log.lines.back(), "结果: 失败, 退出代码 32: error 32");
}

} // namespace
