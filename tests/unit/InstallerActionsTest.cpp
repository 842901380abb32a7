// The Windows Installer package's custom actions: the command each runs, and how the
// program's exit code becomes Windows Installer's result and its log line.
#include "staging/InstallerActions.h"

#include <gtest/gtest.h>

namespace {

constexpr unsigned long kInstallFailure = 1603;

std::string CommandLine(const ProgramCommand& command)
{
    return command.program + " " + command.parameters + " in " + command.workingDirectory;
}

TEST(InstallerCommand, InstallRunsTheProgramBesideThePackageWithTheAdministratorsSwitches)
{
    EXPECT_EQ(CommandLine(CommandFor(
                  InstallerAction::Install, "\\\\server\\部署\\preinstall.msi|/SETUPSHA256=ab /LOG=C:\\Logs\\a b.log")),
        "\\\\server\\部署\\preinstall.exe /S /NOARP /SETUPSHA256=ab /LOG=C:\\Logs\\a b.log in \\\\server\\部署\\");
    EXPECT_EQ(CommandLine(CommandFor(InstallerAction::Install, "D:\\share\\preinstall.msi|")),
        "D:\\share\\preinstall.exe /S /NOARP in D:\\share\\");
    EXPECT_EQ(CommandLine(CommandFor(InstallerAction::Install, "D:\\share\\preinstall.msi|  ")),
        "D:\\share\\preinstall.exe /S /NOARP in D:\\share\\");
}

TEST(InstallerCommand, RollbackUninstallsFromThePackageAndUninstallFromTheKeptCopy)
{
    EXPECT_EQ(CommandLine(CommandFor(InstallerAction::Rollback, "D:\\share\\preinstall.msi")),
        "D:\\share\\preinstall.exe /UNINSTALL /S /NOARP in D:\\share\\");
    for (const char* windowsFolder : {"C:\\WINDOWS\\", "C:\\WINDOWS"})
        EXPECT_EQ(CommandLine(CommandFor(InstallerAction::Uninstall, windowsFolder)),
            "C:\\WINDOWS\\tovra_driver\\preinstall.exe /UNINSTALL /S /NOARP in C:\\WINDOWS\\");
}

TEST(InstallerOutcome, SuccessAndRestartCodesSucceedAndAnyOtherCodeFailsWith1603)
{
    for (const InstallerAction action : {InstallerAction::Install, InstallerAction::Uninstall}) {
        const ProgramCommand command = CommandFor(action, "C:\\p\\preinstall.msi");
        for (const unsigned long code : {0ul, 3010ul, 1641ul})
            EXPECT_EQ(OutcomeOfRun(action, command, code, "").result, 0u) << code;
        for (const unsigned long code : {1ul, 2ul, 1603ul, 1618ul, 1707ul, 0xE0000247ul, 0xE000023Dul})
            EXPECT_EQ(OutcomeOfRun(action, command, code, "").result, kInstallFailure) << code;
    }
}

TEST(InstallerOutcome, LogLineNamesTheCommandTheProgramsCodeAndItsMeaning)
{
    const ProgramCommand command = CommandFor(InstallerAction::Install, "D:\\share\\preinstall.msi|/LOG=x.log");
    EXPECT_EQ(OutcomeOfRun(InstallerAction::Install, command, 0xE0000247, "").logLine,
        "安装: \"D:\\share\\preinstall.exe\" /S /NOARP /LOG=x.log 退出代码 3758096967 (0xE0000247): "
        "安装程序报告成功，但驱动程序包不在驱动程序存储中; 安装失败 (1603)");
    EXPECT_EQ(OutcomeOfRun(InstallerAction::Install, command, 3010, "").logLine,
        "安装: \"D:\\share\\preinstall.exe\" /S /NOARP /LOG=x.log 退出代码 3010 (0x00000BC2): 成功，需要重新启动");
    EXPECT_EQ(OutcomeOfRun(InstallerAction::Install, command, 112, "磁盘空间不足。").logLine,
        "安装: \"D:\\share\\preinstall.exe\" /S /NOARP /LOG=x.log 退出代码 112 (0x00000070): "
        "失败步骤的系统错误代码: 磁盘空间不足。; 安装失败 (1603)");
}

TEST(InstallerOutcome, KeptCopyAlreadyGoneLetsTheProductBeRemoved)
{
    const ProgramCommand kept = CommandFor(InstallerAction::Uninstall, "C:\\WINDOWS\\");
    for (const unsigned long missing : {2ul, 3ul}) {
        const ActionOutcome outcome = OutcomeOfStartFailure(InstallerAction::Uninstall, kept, missing, "");
        EXPECT_EQ(outcome.result, 0u);
        EXPECT_EQ(outcome.logLine,
            "卸载: 保留的副本 \"C:\\WINDOWS\\tovra_driver\\preinstall.exe\" 已不存在，没有需要卸载的内容");
    }
    const ActionOutcome denied = OutcomeOfStartFailure(InstallerAction::Uninstall, kept, 5, "拒绝访问。");
    EXPECT_EQ(denied.result, kInstallFailure);
    EXPECT_EQ(denied.logLine, "卸载: 无法启动 \"C:\\WINDOWS\\tovra_driver\\preinstall.exe\": 拒绝访问。");
}

TEST(InstallerOutcome, ProgramMissingBesideThePackageFailsTheInstall)
{
    const ProgramCommand command = CommandFor(InstallerAction::Install, "D:\\share\\preinstall.msi|");
    EXPECT_EQ(OutcomeOfStartFailure(InstallerAction::Install, command, 2, "").result, kInstallFailure);
}

TEST(InstallerOutcome, RollbackNeverFailsButLogsWhatHappened)
{
    const ProgramCommand command = CommandFor(InstallerAction::Rollback, "D:\\share\\preinstall.msi");
    const ActionOutcome failed = OutcomeOfRun(InstallerAction::Rollback, command, 0xE000023D, "");
    EXPECT_EQ(failed.result, 0u);
    EXPECT_EQ(failed.logLine,
        "回滚: \"D:\\share\\preinstall.exe\" /UNINSTALL /S /NOARP 退出代码 3758096957 (0xE000023D): "
        "读写器仍连接在电脑上");
    EXPECT_EQ(OutcomeOfStartFailure(InstallerAction::Rollback, command, 2, "").result, 0u);
}

TEST(InstallerRestart, OnlyTheRestartCodesAskForOne)
{
    EXPECT_TRUE(AsksForRestart(3010));
    EXPECT_TRUE(AsksForRestart(1641));
    for (const unsigned long code : {0ul, 1603ul, 1707ul, 3011ul})
        EXPECT_FALSE(AsksForRestart(code)) << code;
}

} // namespace
