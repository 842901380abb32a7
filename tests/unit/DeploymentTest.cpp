// The rules of the runs deployment tools start, against fakes: the lock, the running
// setup, the bounded wait, the exit codes and the detection marker.
#include "staging/Deployment.h"
#include "staging/DriverPackage.h"
#include "tests/unit/FakeRecords.h"
#include "tests/unit/FakeSystem.h"

#include <gtest/gtest.h>

#include <functional>

namespace {

class DeploymentTest : public FakeRunTest {
protected:
    FakeLock lock{journal};
    FakeRunningSetup runningSetup;
    FakeRecords records{journal};
    FakeRegistryKey& marker = records.marker;
    RunReport installReport{RunKind::Install, log, system, system, &records.events, "9.8.7", ""};
    RunReport uninstallReport{RunKind::Uninstall, log, system, system, &records.events, "9.8.7", ""};
    Deployment deployment{window, system, waiting, installReport, lock, runningSetup, records, kFakeProgramPath};

    unsigned long Install(unsigned long timeoutSeconds = 1800)
    {
        return RunDeploymentInstall(deployment, timeoutSeconds);
    }
    unsigned long Uninstall()
    {
        Deployment run{window, system, waiting, uninstallReport, lock, runningSetup, records, deployment.programPath,
            deployment.setupSha256, deployment.storeHelper, deployment.programsEntry, deployment.arguments};
        return RunDeploymentUninstall(run);
    }
    // An install on another system, with this test's lock and records.
    unsigned long InstallOn(FakeSystem& on, FakeWaiting& waits, unsigned long timeoutSeconds = 1800)
    {
        RunReport report(RunKind::Install, log, on, on, &records.events, "9.8.7", "");
        Deployment run{window, on, waits, report, lock, runningSetup, records, kFakeProgramPath};
        return RunDeploymentInstall(run, timeoutSeconds);
    }

    std::size_t Position(const std::string& entry) const
    {
        return static_cast<std::size_t>(std::find(journal.begin(), journal.end(), entry) - journal.begin());
    }
    bool Journalled(const std::string& prefix) const
    {
        return std::any_of(
            journal.begin(), journal.end(), [&](const std::string& entry) { return entry.rfind(prefix, 0) == 0; });
    }
    // Anything written to disk or the marker, or a setup started.
    bool ChangedAnything() const
    {
        for (const char* change : {"mkdir", "copy", "start", "marker", "uninstall", "remove", "rmdir"})
            if (Journalled(change))
                return true;
        return false;
    }
};

// What a success leaves for the administrators' tools: the marker, the kept copy, the event
// source, the Programs and Features entry whose uninstall is the kept copy's, and one event.
TEST_F(DeploymentTest, SuccessLeavesTheMarkerTheKeptCopyTheEntryAndOneEvent)
{
    EXPECT_EQ(Install(), 0u);
    const std::map<std::string, std::string> markerValues = {{"Installed", "1"}, {"Version", "9.8.7"},
        {"LastExitCode", "0"}, {"SetupExitCode", "0"}, {"LastRun", "2026-12-09 13:00:00"},
        {"DriverStoreInf", "oem1.inf"}, {"DriverVersion", "1.0.0.0"}, {"DriverDate", "12/08/2026"},
        {"DriverProvider", "Example Vendor"}, {"DriverClassGuid", "{50dd5230-ba8a-11d1-bf5d-0000f805f530}"}};
    EXPECT_EQ(marker.values, markerValues);
    const std::string kept = "C:\\WINDOWS\\tovra_driver\\preinstall.exe";
    EXPECT_EQ(system.bytes[kept], "MZ the program");
    const std::map<std::string, std::string> sourceValues = {{"EventMessageFile", kept}, {"TypesSupported", "7"}};
    EXPECT_EQ(records.eventSource.values, sourceValues);
    const std::map<std::string, std::string> entryValues = {{"DisplayName", "IC卡读写器USB程序安装 (Example Vendor)"},
        {"DisplayVersion", "1.0.0.0"}, {"Publisher", "Example Vendor"},
        {"InstallLocation", "C:\\WINDOWS\\tovra_driver"}, {"DisplayIcon", kept}, {"InstallDate", "20261209"},
        {"UninstallString", "\"" + kept + "\" /UNINSTALL"}, {"QuietUninstallString", "\"" + kept + "\" /UNINSTALL /S"},
        {"EstimatedSize", "1"}, {"NoModify", "1"}, {"NoRepair", "1"}};
    EXPECT_EQ(records.programsEntry.values, entryValues);
    ASSERT_EQ(records.events.events.size(), 1u);
    EXPECT_EQ(records.events.events[0].id, 1000u);
    EXPECT_EQ(log.lines.back().rfind(
                  "结果: 成功, 退出代码 0 (0x00000000); 安装程序退出代码 0; 驱动程序存储中的副本 oem1.inf; "
                  "DriverVer 12/08/2026,1.0.0.0; 用时 0 秒; 程序版本 9.8.7",
                  0),
        0u)
        << log.lines.back();
}

// The marker's driver values are what a later uninstall finds the store's copy by, also
// when the staged INF is gone.
TEST_F(DeploymentTest, UninstallFindsTheCopyTheMarkerRecordsWithoutTheStagedInf)
{
    EXPECT_EQ(Install(), 0u);
    system.bytes.erase(system.StagedInf());
    system.disk.erase(system.StagedInf());
    EXPECT_EQ(Uninstall(), 0u);
    EXPECT_EQ(system.disk.count(system.StoreCopy()), 0u) << "the recorded copy stayed";
}

TEST_F(DeploymentTest, ALaterMarkerValueThatFailsKeepsInstalledAwayAndEndsInItsError)
{
    for (const char* failing :
        {"Version", "LastExitCode", "SetupExitCode", "LastRun", "DriverStoreInf", "DriverVersion", "DriverDate"}) {
        SCOPED_TRACE(failing);
        journal.clear();
        marker.values.clear();
        marker.failures = {{failing, 5}};
        EXPECT_EQ(Install(), 5u);
        EXPECT_EQ(marker.values.count("Installed"), 0u);
        EXPECT_FALSE(Journalled("marker set Installed"));
        EXPECT_TRUE(log.Has("无法写入检测标记"));
        EXPECT_EQ(log.lines.back().rfind("结果: 失败, 退出代码 5 (0x00000005): error 5", 0), 0u) << log.lines.back();
    }
}

TEST_F(DeploymentTest, MarkerThatCannotBeWithdrawnStopsTheRunBeforeItWritesAnything)
{
    marker.failures = {{"Installed", 5}};
    EXPECT_EQ(Install(), 5u);
    EXPECT_FALSE(Journalled("mkdir"));
    EXPECT_FALSE(Journalled("start"));
}

TEST_F(DeploymentTest, FailedRunsRecordTheirCodeWithoutInstalledAndKeepTheLastSuccessDriverValues)
{
    struct Case {
        const char* name;
        std::function<void(FakeSystem&)> arrange;
        unsigned long code;
        bool setupEnded;
    };
    const std::vector<Case> cases = {
        {"missing file", [](FakeSystem& s) { s.files.erase("C:\\Package\\TOVRA.DLL"); }, 2, false},
        {"INF without models for this Windows", [](FakeSystem& s) { s.windows.architecture = "amd64"; }, 1633, false},
        {"INF unreadable", [](FakeSystem& s) { s.packageInf.reset(), s.infError = 0xE0000100; }, 0xE0000100, false},
        {"staging path is a file", [](FakeSystem& s) { s.mkdirError = 183; }, 183, false},
        {"disk full", [](FakeSystem& s) { s.copyErrors["C:\\WINDOWS\\tovra_driver\\TOVRA.INF"] = 112; }, 112, false},
        {"setup is not a program", [](FakeSystem& s) { s.startError = 193; }, 193, false},
        {"setup failed", [](FakeSystem& s) { s.setupExitCode = 5; }, 1603, true},
        {"setup said success, store empty", [](FakeSystem& s) { s.storeCopyAtMs.reset(); }, 0xE0000247, true},
        {"wait failed", [](FakeSystem& s) { s.waitError = 6; }, 6, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        FreshSystem freshRun(journal);
        FakeSystem& fresh = freshRun.system;
        c.arrange(fresh);
        marker.values = {{"Installed", "1"}, {"SetupExitCode", "0"}, {"DriverStoreInf", "oem3.inf"}};
        EXPECT_EQ(InstallOn(fresh, freshRun.waiting), c.code);
        EXPECT_EQ(marker.values.count("Installed"), 0u);
        EXPECT_EQ(marker.values["LastExitCode"], std::to_string(c.code));
        // The setup's own code is there only when it ended by itself.
        EXPECT_EQ(marker.values.count("SetupExitCode"), c.setupEnded ? 1u : 0u);
        EXPECT_EQ(marker.values["DriverStoreInf"], "oem3.inf");
    }
}

TEST_F(DeploymentTest, WindowsDirectoryFailureEndsInItsCodeAndTakesNoLock)
{
    system.windowsDirectoryError = 5;
    EXPECT_EQ(Install(), 5u);
    EXPECT_FALSE(Journalled("lock")) << "a lock somewhere other than the Windows directory";
    EXPECT_FALSE(ChangedAnything());
    EXPECT_TRUE(log.Has("无法读取 Windows 目录"));
}

TEST_F(DeploymentTest, SetupCodesBecomeTheCodesDeploymentToolsKnow)
{
    const std::pair<unsigned long, unsigned long> codes[] = {{0, 0}, {1707, 0}, {3010, 3010}, {1641, 1641},
        {1618, 1618}, {1, 1603}, {5, 1603}, {1603, 1603}, {0xC0000005, 1603}};
    for (const auto& [setupCode, exitCode] : codes) {
        system.setupExitCode = setupCode;
        marker.values.clear();
        EXPECT_EQ(Install(), exitCode) << "setup exit code " << setupCode;
        EXPECT_EQ(marker.values.count("Installed"), IsSuccessCode(exitCode) ? 1u : 0u) << setupCode;
    }
}

TEST_F(DeploymentTest, TimeoutEndsTheSetupWithWhatItStartedAndEndsIn1460)
{
    for (const bool inJob : {true, false}) {
        SCOPED_TRACE(inJob ? "in a job" : "in no job");
        journal.clear();
        log.lines.clear();
        FreshSystem freshRun(journal);
        FakeSystem& fresh = freshRun.system;
        fresh.setupRunsMs = 61000;
        fresh.inOuterJob = !inJob; // on Windows 7, in a job that lets nothing break away
        fresh.nestedJobs = false;
        const std::uint32_t start = fresh.now;
        EXPECT_EQ(InstallOn(fresh, freshRun.waiting, 60), kErrorTimeout);
        EXPECT_EQ(fresh.now - start, 60000u) << "ended at the time, not before or after";
        EXPECT_TRUE(Journalled("end setup"));
        EXPECT_TRUE(log.Has(inJob ? "安装程序在 60 秒内没有结束，已结束它和它启动的所有进程"
                                  : "安装程序在 60 秒内没有结束，已结束它和按父进程 ID 找到的它启动的进程"));
        EXPECT_EQ(marker.values["LastExitCode"], "1460");
        EXPECT_EQ(marker.values.count("Installed"), 0u);
        EXPECT_EQ(marker.values.count("SetupExitCode"), 0u);
    }
}

TEST_F(DeploymentTest, StartedProcessesAreWaitedForWithinTheTimeoutAndNeverEnded)
{
    // A bootstrapper whose child adds the package within the time: success.
    system.setupRunsMs = 0;
    system.storeCopyAtMs = 20000;
    system.startedProgramsRunMs = 3600000;
    EXPECT_EQ(Install(60), 0u);
    EXPECT_EQ(marker.values["Installed"], "1");

    // One whose child would take longer than the time: not in the store, and nothing ended.
    journal.clear();
    FreshSystem slowRun(journal);
    FakeSystem& slow = slowRun.system;
    slow.storeCopyAtMs = 90000;
    slow.startedProgramsRunMs = 3600000;
    const std::uint32_t start = slow.now;
    EXPECT_EQ(InstallOn(slow, slowRun.waiting, 60), kErrorDriverStoreAddFailed);
    EXPECT_LT(slow.now - start, 60500u);
    EXPECT_FALSE(Journalled("end setup"));
    EXPECT_EQ(marker.values.count("Installed"), 0u);
    EXPECT_TRUE(log.Has("等待时间已到"));
}

TEST_F(DeploymentTest, TrayProgramLeftRunningAfterSuccessHoldsNothingUp)
{
    system.setupRunsMs = 2000;
    system.startedProgramsRunMs = 3600000;
    const std::uint32_t start = system.now;
    EXPECT_EQ(Install(), 0u);
    EXPECT_LT(system.now - start, 2500u);
}

TEST_F(DeploymentTest, HeldLockOrRunningStagedSetupGivesWayWith1618AndChangesNothing)
{
    for (const bool byLock : {true, false}) {
        SCOPED_TRACE(byLock ? "lock held" : "staged setup running");
        journal.clear();
        log.lines.clear();
        lock.error = byLock ? kErrorSharingViolation : 0;
        runningSetup.running = !byLock;
        EXPECT_EQ(Install(), kErrorInstallAlreadyRunning);
        EXPECT_EQ(Uninstall(), kErrorInstallAlreadyRunning);
        EXPECT_FALSE(ChangedAnything());
        EXPECT_TRUE(
            log.Has(byLock ? "另一个静默预装正在运行"
                           : "TOVRA_SETUP.EXE 仍在运行（进程 ID 77，C:\\WINDOWS\\tovra_driver\\TOVRA_SETUP.EXE；"))
            << log.lines.back();
        if (!byLock) {
            EXPECT_EQ(runningSetup.askedFor, "C:\\WINDOWS\\tovra_driver\\TOVRA_SETUP.EXE") << "asked by name only";
        }
        EXPECT_EQ(log.lines.back().rfind("结果: 失败, 退出代码 1618 (0x00000652): error 1618", 0), 0u)
            << log.lines.back();
    }
}

TEST_F(DeploymentTest, LockThatCannotBePlacedEndsInItsOwnError)
{
    lock.error = 5; // the account may not write the Windows directory: not another run
    EXPECT_EQ(Install(), 5u);
    EXPECT_FALSE(ChangedAnything());
    EXPECT_TRUE(log.Has("无法创建静默预装的锁文件: error 5"));
}

TEST_F(DeploymentTest, LogHasALinePerStepAndTheResult)
{
    system.setupExitCode = 3010;
    EXPECT_EQ(Install(), 3010u);
    const std::vector<std::string> expected = {
        "驱动包目录: C:\\Package\\",
        "检查 C:\\Package\\TOVRA.EXB: 存在",
        "检查 C:\\Package\\TOVRA.INF: 存在",
        "检查 C:\\Package\\TOVRAWDM.SYS: 存在",
        "检查 C:\\Package\\TOVRA.DLL: 存在",
        "TOVRA.INF 的 [Manufacturer] 有这些平台的型号: 无修饰; 本机 Windows: x86 6.1.7601 工作站 (套件 0x0100)",
        "[Manufacturer] 的 Models: 本机 Windows 会用 [Models]，其中有 2 个型号",
        "Windows 目录: C:\\WINDOWS",
        "暂存目录 C:\\WINDOWS\\tovra_driver: 已创建",
        "复制 C:\\Package\\TOVRA.EXB -> C:\\WINDOWS\\tovra_driver\\TOVRA_SETUP.EXE: 39 字节",
        "复制 C:\\Package\\TOVRA.INF -> C:\\WINDOWS\\tovra_driver\\TOVRA.INF: 21 字节",
        "复制 C:\\Package\\TOVRAWDM.SYS -> C:\\WINDOWS\\tovra_driver\\TOVRAWDM.SYS: 36 字节",
        "复制 C:\\Package\\TOVRA.DLL -> C:\\WINDOWS\\tovra_driver\\TOVRA.DLL: 33 字节",
        "安装程序在本程序的作业对象中运行，它启动的进程也在其中",
        "已启动 \"C:\\WINDOWS\\tovra_driver\\TOVRA_SETUP.EXE\" /S, 进程 ID 4242",
        "安装程序退出代码: 3010",
        "驱动程序包已在驱动程序存储中: C:\\WINDOWS\\inf\\oem1.inf",
        "IC卡读写器USB程序安装: 预装成功，请重新启动计算机后再将读写器插到电脑上。",
        "已保留本程序的副本 C:\\WINDOWS\\tovra_driver\\preinstall.exe，卸载时使用",
        "已在应用程序日志中注册事件源，消息文件 C:\\WINDOWS\\tovra_driver\\preinstall.exe",
        "已写入“程序和功能”中的条目",
        "结果: 成功, 需要重新启动, 退出代码 3010 (0x00000BC2); 安装程序退出代码 3010; 驱动程序存储中的副本 oem1.inf; "
        "DriverVer 12/08/2026,1.0.0.0; 用时 0 秒; 程序版本 9.8.7",
    };
    EXPECT_EQ(log.lines, expected);
}

TEST_F(DeploymentTest, AnythingUnexpectedEndsIn1603)
{
    class ThrowingSystem : public FakeSystem {
    public:
        using FakeSystem::FakeSystem;
        std::string LocalTime() override { throw std::runtime_error("out of memory"); }
    } throwing(journal);
    throwing.AddPackage("C:\\Package\\");
    FakeWaiting throwingWaits(throwing);
    marker.values = {{"Installed", "1"}}; // an earlier success: withdrawn before the run fails
    EXPECT_EQ(InstallOn(throwing, throwingWaits), kErrorInstallFailure);
    EXPECT_EQ(marker.values.count("Installed"), 0u);
    EXPECT_TRUE(log.Has("意外错误: out of memory"));
}

// ---- the uninstall's rules

class DeploymentUninstallTest : public DeploymentTest {
protected:
    const std::string staging = "C:\\WINDOWS\\tovra_driver";
    const std::string inf = "C:\\WINDOWS\\inf";

    void SetUp() override
    {
        system.disk[inf] = PathKind::Folder;
        system.disk[staging] = PathKind::Folder;
        AddFile(staging + "\\TOVRA.INF", "our package");
        AddFile(inf + "\\oem7.inf", "our package");
        marker.values = {{"Installed", "1"}, {"Version", "9.8.7"}};
        marker.exists = true;
    }
    void AddFile(const std::string& path, const std::string& bytes)
    {
        system.disk[path] = PathKind::File;
        system.bytes[path] = bytes;
    }
};

TEST_F(DeploymentUninstallTest, CompleteRemovalTakesTheMarkerAndSaysSo)
{
    EXPECT_EQ(Uninstall(), 0u);
    EXPECT_FALSE(marker.exists);
    ASSERT_EQ(window.messages.size(), 1u);
    EXPECT_EQ(window.messages[0], "已卸载:\n驱动程序存储中的 oem7.inf\nC:\\WINDOWS\\tovra_driver（1 项）\n检测标记");
    EXPECT_EQ(log.lines.back().rfind("结果: 成功, 退出代码 0 (0x00000000)", 0), 0u) << log.lines.back();
}

TEST_F(DeploymentUninstallTest, DriverStoreCopyThatStaysKeepsTheMarker)
{
    // Refused, or said removed and still there: either way the driver stays.
    for (const bool refused : {true, false}) {
        SCOPED_TRACE(refused ? "refused" : "said removed");
        system.uninstallErrors.clear();
        system.uninstallLeaves.clear();
        if (refused) {
            system.uninstallErrors["oem7.inf"] = kErrorInfInUseByDevices;
            system.devices["oem7.inf"] = {1, 1};
        } else
            system.uninstallLeaves.insert("oem7.inf");
        window.messages.clear();
        journal.clear();
        EXPECT_EQ(Uninstall(), refused ? 0xE000023Du : kErrorDriverStoreDeleteFailed);
        EXPECT_TRUE(marker.exists);
        EXPECT_EQ(marker.values["Installed"], "1");
        EXPECT_EQ(marker.values["LastExitCode"], std::to_string(refused ? 0xE000023Du : kErrorDriverStoreDeleteFailed));
        EXPECT_FALSE(Journalled("marker remove"));
        EXPECT_TRUE(log.Has("保留检测标记"));
        ASSERT_EQ(window.messages.size(), 1u);
        EXPECT_NE(window.messages[0].find(refused ? "读写器仍连接在电脑上" : "仍在驱动程序存储中"), std::string::npos)
            << window.messages[0];
    }
}

TEST_F(DeploymentUninstallTest, StagingFolderThatStaysStillTakesTheMarkerForTheDriverIsGone)
{
    system.removeErrors[staging + "\\TOVRA.INF"] = 5;
    system.restartRemovalError = 5; // not even at restart
    EXPECT_EQ(Uninstall(), 5u);
    EXPECT_EQ(system.disk.count(inf + "\\oem7.inf"), 0u);
    EXPECT_FALSE(marker.exists);
}

TEST_F(DeploymentUninstallTest, MarkerThatCannotBeRemovedIsTheFailure)
{
    marker.failures = {{"*", 5}};
    EXPECT_EQ(Uninstall(), 5u);
    EXPECT_TRUE(log.Has("无法写入检测标记"));
    ASSERT_EQ(window.messages.size(), 1u);
    EXPECT_NE(window.messages[0].find("无法写入检测标记"), std::string::npos);
}

TEST_F(DeploymentUninstallTest, EntryThatCannotBeRemovedIsTheFailureAndNamedSo)
{
    records.programsEntry.exists = true;
    records.programsEntry.failures = {{"*", 5}};
    EXPECT_EQ(Uninstall(), 5u);
    EXPECT_TRUE(log.Has("无法写入“程序和功能”中的条目"));
    EXPECT_FALSE(log.Has("无法写入检测标记")) << "the entry's failure told as the marker's";
    ASSERT_EQ(window.messages.size(), 1u);
    EXPECT_NE(window.messages[0].find("“程序和功能”"), std::string::npos);
}

TEST_F(DeploymentUninstallTest, NothingInstalledIsNoFailure)
{
    system.disk.erase(staging);
    system.disk.erase(staging + "\\TOVRA.INF");
    system.bytes.clear();
    marker.exists = false;
    marker.values.clear();
    EXPECT_EQ(Uninstall(), 0u);
    EXPECT_EQ(window.messages, std::vector<std::string>{"没有需要卸载的内容。"});
}

TEST_F(DeploymentTest, SetupOfAnotherHashEndsIn577WithoutInstalled)
{
    system.bytes["C:\\Package\\TOVRA.EXB"] = "a setup someone put on the share";
    deployment.setupSha256 = FakeSha256("the setup the administrator tested");
    EXPECT_EQ(Install(), kErrorInvalidImageHash);
    EXPECT_FALSE(Journalled("start "));
    EXPECT_FALSE(Journalled("marker set Installed"));
    EXPECT_EQ(marker.values.at("LastExitCode"), "577");
}

} // namespace

// ---- Programs and Features, the kept copy and the Application log

namespace {

std::vector<unsigned long> EventIds(const FakeEventLog& events)
{
    std::vector<unsigned long> ids;
    for (const FakeEventLog::Event& event : events.events)
        ids.push_back(event.id);
    return ids;
}

TEST_F(DeploymentTest, FailedRunWritesNoEntryAndKeepsNoCopy)
{
    system.setupExitCode = 5;
    EXPECT_EQ(Install(), kErrorInstallFailure);
    EXPECT_FALSE(Journalled("entry set"));
    EXPECT_FALSE(Journalled("source set"));
    EXPECT_FALSE(Journalled("copy C:\\Package\\preinstall.exe"));
    EXPECT_EQ(EventIds(records.events), std::vector<unsigned long>{1002});
    EXPECT_EQ(records.events.events[0].type, EventType::Error);
}

TEST_F(DeploymentTest, NoArpLeavesOnlyTheEntryOut)
{
    deployment.programsEntry = false;
    EXPECT_EQ(Install(), 0u);
    EXPECT_FALSE(Journalled("entry set"));
    EXPECT_TRUE(Journalled("copy C:\\Package\\preinstall.exe -> C:\\WINDOWS\\tovra_driver\\preinstall.exe"));
    EXPECT_TRUE(Journalled("source set EventMessageFile"));
    EXPECT_EQ(marker.values["Installed"], "1");
    EXPECT_TRUE(log.Has("/NOARP: 不写入“程序和功能”中的条目"));
}

// The entry and the kept copy are records like the marker: one that cannot be made keeps
// Installed away and ends the run in its error. The event source is no such record.
TEST_F(DeploymentTest, EntryOrKeptCopyThatCannotBeMadeKeepsInstalledAway)
{
    records.programsEntry.failures = {{"UninstallString", 5}};
    EXPECT_EQ(Install(), 5u);
    EXPECT_EQ(marker.values.count("Installed"), 0u);
    EXPECT_TRUE(log.Has("无法写入“程序和功能”中的条目: error 5"));

    records.programsEntry.failures.clear();
    FreshSystem fullDisk(journal);
    fullDisk.system.copyErrors["C:\\WINDOWS\\tovra_driver\\preinstall.exe"] = 112;
    EXPECT_EQ(InstallOn(fullDisk.system, fullDisk.waiting), 112u);
    EXPECT_EQ(marker.values.count("Installed"), 0u);

    records.eventSource.failures = {{"TypesSupported", 5}};
    FreshSystem sourceRefused(journal);
    EXPECT_EQ(InstallOn(sourceRefused.system, sourceRefused.waiting), 0u);
    EXPECT_EQ(marker.values["Installed"], "1");
    EXPECT_TRUE(log.Has("无法注册或删除应用程序日志的事件源: error 5"));
}

// One event per run, whatever the outcome; a failure to report one changes nothing else.
TEST_F(DeploymentTest, EachRunReportsOneEventOfItsKind)
{
    struct Case {
        const char* name;
        std::function<void(FakeSystem&, FakeLock&, FakeRunningSetup&)> arrange;
        unsigned long id;
        EventType type;
    };
    const std::vector<Case> cases = {
        {"success", [](FakeSystem&, FakeLock&, FakeRunningSetup&) {}, 1000, EventType::Information},
        {"restart", [](FakeSystem& s, FakeLock&, FakeRunningSetup&) { s.setupExitCode = 3010; }, 1001,
            EventType::Warning},
        {"failure", [](FakeSystem& s, FakeLock&, FakeRunningSetup&) { s.files.clear(); }, 1002, EventType::Error},
        {"another run", [](FakeSystem&, FakeLock& l, FakeRunningSetup&) { l.error = kErrorSharingViolation; }, 1003,
            EventType::Warning},
        {"setup still running", [](FakeSystem&, FakeLock&, FakeRunningSetup& r) { r.running = true; }, 1003,
            EventType::Warning},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        FreshSystem fresh(journal);
        FakeLock freshLock(journal);
        FakeRunningSetup freshRunning;
        FakeRecords freshRecords(journal);
        c.arrange(fresh.system, freshLock, freshRunning);
        RunReport report(RunKind::Install, log, fresh.system, fresh.system, &freshRecords.events, "9.8.7", "");
        Deployment run{
            window, fresh.system, fresh.waiting, report, freshLock, freshRunning, freshRecords, kFakeProgramPath};
        static_cast<void>(RunDeploymentInstall(run, 1800));
        EXPECT_EQ(EventIds(freshRecords.events), std::vector<unsigned long>{c.id});
        EXPECT_EQ(freshRecords.events.events.at(0).type, c.type);
    }

    records.events.error = 1502; // ERROR_LOG_FILE_FULL
    EXPECT_EQ(Install(), 0u);
    EXPECT_EQ(marker.values["Installed"], "1");
    EXPECT_TRUE(log.Has("无法向应用程序日志写入事件: error 1502"));
    EXPECT_EQ(log.lines.back().rfind("结果: 成功", 0), 0u) << "the result line is the last";
}

TEST(RunEvents, InsertionStringsReadWellOnTheirOwn)
{
    EXPECT_EQ(EventStrings({3010, 3010, "oem7.inf", "12/08/2026,1.0.0.0", 4, "1.2.0", "C:\\Logs\\a.log"}),
        (std::vector<std::string>{
            "3010", "0x00000BC2", "3010", "oem7.inf", "12/08/2026,1.0.0.0", "1.2.0", "C:\\Logs\\a.log"}));
    EXPECT_EQ(EventStrings({kErrorInstallPlatformUnsupported, std::nullopt, "", "", 0, "1.2.0", ""}),
        (std::vector<std::string>{"1633", "0x00000661", "-", "-", "-", "1.2.0", "-"}));
}

} // namespace

// The uninstall: the entry follows the marker's rule, the event source goes after a
// complete removal; and one event.
TEST_F(DeploymentUninstallTest, EntryStaysWhileADriverStoreCopyStaysAndGoesWithIt)
{
    records.programsEntry.values = {{"DisplayName", "x"}};
    records.programsEntry.exists = true;
    records.eventSource.values = {{"TypesSupported", "7"}};
    records.eventSource.exists = true;
    system.uninstallErrors["oem7.inf"] = 5;
    EXPECT_EQ(Uninstall(), 5u);
    EXPECT_TRUE(records.programsEntry.exists) << "the entry went while the driver stays";
    EXPECT_TRUE(records.eventSource.exists);
    EXPECT_EQ(EventIds(records.events), std::vector<unsigned long>{1011});

    system.uninstallErrors.clear();
    records.events.events.clear();
    EXPECT_EQ(Uninstall(), 0u);
    EXPECT_FALSE(records.programsEntry.exists);
    EXPECT_FALSE(records.eventSource.exists);
    EXPECT_EQ(EventIds(records.events), std::vector<unsigned long>{1010});
    EXPECT_NE(window.messages.back().find("“程序和功能”中的条目"), std::string::npos) << window.messages.back();
}

TEST_F(DeploymentUninstallTest, ConnectedReaderIsAWarningEvent)
{
    system.uninstallErrors["oem7.inf"] = kErrorInfInUseByDevices;
    system.devices["oem7.inf"] = DeviceUse{1, 1};
    EXPECT_EQ(Uninstall(), kErrorInfInUseByDevices);
    ASSERT_EQ(EventIds(records.events), std::vector<unsigned long>{1012});
    EXPECT_EQ(records.events.events[0].type, EventType::Warning);
}

// Started from the kept copy, the uninstall cannot remove the program that runs it: it goes
// on in a copy in a new protected folder, passes that run's code through, and reports no
// event of its own (that run does).
TEST_F(DeploymentUninstallTest, UninstallFromTheKeptCopyContinuesFromATemporaryCopy)
{
    deployment.programPath = staging + "\\preinstall.exe";
    AddFile(deployment.programPath, "MZ the kept copy");
    AddFile(staging + "\\preinstall_store64.exe", "MZ its helper");
    deployment.arguments = "/UNINSTALL /S /LOG=\"C:\\Logs\\卸载.log\"";
    system.continuationExitCode = kErrorDriverStoreDeleteFailed;
    EXPECT_EQ(Uninstall(), kErrorDriverStoreDeleteFailed);
    const std::string copy = "C:\\WINDOWS\\~tovra_uninstall.1\\";
    EXPECT_LT(Position("mkdir C:\\WINDOWS\\~tovra_uninstall.1"), Position("protect C:\\WINDOWS\\~tovra_uninstall.1"));
    EXPECT_LT(Position("protect C:\\WINDOWS\\~tovra_uninstall.1"),
        Position("copy " + deployment.programPath + " -> " + copy + "preinstall.exe"));
    EXPECT_TRUE(Journalled("copy " + staging + "\\preinstall_store64.exe -> " + copy + "preinstall_store64.exe"));
    EXPECT_TRUE(Journalled("continue in " + copy + " with " + deployment.arguments));
    EXPECT_FALSE(Journalled("lock ")) << "the continuation takes the lock, not this run";
    EXPECT_FALSE(Journalled("uninstall oem7.inf"));
    EXPECT_TRUE(records.events.events.empty()) << "a second event for the run";
    EXPECT_EQ(system.disk.count("C:\\WINDOWS\\~tovra_uninstall.1"), 0u) << "the temporary copy stayed";
}

// The continuation removes everything. The kept copy, still running the run it came from,
// is renamed into the continuation's folder and goes from there at restart, so the staging
// folder goes now; that is no failure. A new install before the restart keeps what it made:
// a fleet's upgrade is an uninstall and an install with no restart between.
TEST_F(DeploymentUninstallTest, ContinuationLeavesNothingForTheRestartUnderANameAnInstallUses)
{
    const std::string continuation = "C:\\WINDOWS\\~tovra_uninstall.1";
    AddFile(staging + "\\preinstall.exe", "MZ the kept copy");
    system.runningImages.insert(staging + "\\preinstall.exe");
    system.disk[continuation] = PathKind::Folder;
    AddFile(continuation + "\\preinstall.exe", "MZ the kept copy");
    deployment.programPath = continuation + "\\preinstall.exe";
    records.programsEntry.exists = true;
    EXPECT_EQ(Uninstall(), 0u);
    EXPECT_EQ(system.disk.count(inf + "\\oem7.inf"), 0u);
    EXPECT_EQ(system.disk.count(staging), 0u);
    EXPECT_EQ(system.removedAtRestart, std::vector<std::string>{continuation + "\\~removed.1.preinstall.exe"});
    EXPECT_FALSE(marker.exists);
    EXPECT_FALSE(records.programsEntry.exists);
    EXPECT_EQ(EventIds(records.events), std::vector<unsigned long>{1010});

    // The kept copy's run ends; a new install, then the restart.
    system.runningImages.clear();
    system.disk.erase(continuation + "\\preinstall.exe");
    system.AddPackage("C:\\Package\\");
    deployment.programPath = "C:\\Package\\preinstall.exe";
    EXPECT_EQ(Install(), 0u) << log.lines.back();
    EXPECT_EQ(system.disk.count(continuation), 0u) << "the next run leaves what was set aside";
    system.Restart();
    EXPECT_EQ(system.disk.count(staging + "\\preinstall.exe"), 1u) << "the restart took the new kept copy";
    EXPECT_EQ(system.disk.count(staging + "\\TOVRA.INF"), 1u);
}

// What an uninstall left aside that a later run still cannot remove stays, said in the log,
// and goes with the run after it.
TEST_F(DeploymentUninstallTest, WhatIsLeftAsideStillHeldIsTriedAgainByTheNextRun)
{
    const std::string continuation = "C:\\WINDOWS\\~tovra_uninstall.3";
    const std::string aside = continuation + "\\~removed.1.preinstall.exe";
    system.AddPackage("C:\\Package\\");
    deployment.programPath = "C:\\Package\\preinstall.exe";
    system.disk[continuation] = PathKind::Folder;
    AddFile(aside, "MZ the old kept copy");
    system.runningImages.insert(aside);
    EXPECT_EQ(Install(), 0u);
    EXPECT_EQ(system.disk.count(aside), 1u);
    EXPECT_TRUE(log.Has("现在无法删除 " + aside + "，下次运行时再删除"));
    system.runningImages.clear();
    EXPECT_EQ(Install(), 0u);
    EXPECT_EQ(system.disk.count(continuation), 0u);
}
