// The uninstall procedure against a fake disk with links, and the driver store.
#include "staging/Uninstall.h"
#include "staging/DriverPackage.h"
#include "staging/Texts.h"
#include "tests/unit/FakeSystem.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace {

const std::string kStaging = "C:\\WINDOWS\\tovra_driver";
const std::string kInf = "C:\\WINDOWS\\inf";

class UninstallTest : public ::testing::Test {
protected:
    Journal journal;
    FakeSystem system{journal};
    RecordingLog log;
    const Places places = system.WhereItIs();

    void SetUp() override
    {
        system.disk[kInf] = PathKind::Folder;
        AddFile(kInf + "\\oem4.inf", "another vendor's package");
        AddFile(kInf + "\\machine.inf", "Windows' own");
    }
    void AddFile(const std::string& path, const std::string& bytes)
    {
        system.disk[path] = PathKind::File;
        system.bytes[path] = bytes;
    }
    // What an install leaves: the staged package, and its INF copied into the driver store.
    void Install()
    {
        system.disk[kStaging] = PathKind::Folder;
        AddFile(kStaging + "\\TOVRA.INF", "our package");
        AddFile(kStaging + "\\TOVRA_SETUP.EXE", "MZ");
        AddFile(kStaging + "\\setup.log", "started");
        AddFile(kInf + "\\oem7.inf", "our package");
    }
    bool OnDisk(const std::string& path) const { return system.disk.count(path) != 0; }
    std::size_t Position(const std::string& entry) const
    {
        return static_cast<std::size_t>(std::find(journal.begin(), journal.end(), entry) - journal.begin());
    }
};

TEST_F(UninstallTest, RemovesTheDriverStoreCopyThenTheStagingFolderAndNothingElse)
{
    Install();
    AddFile(kInf + "\\oem9.inf", "our package"); // installed twice
    const UninstallOutcome outcome = RunUninstall(system, log, places);
    EXPECT_EQ(outcome.error, 0u) << outcome.failure;
    EXPECT_FALSE(OnDisk(kInf + "\\oem7.inf"));
    EXPECT_FALSE(OnDisk(kInf + "\\oem9.inf"));
    EXPECT_TRUE(OnDisk(kInf + "\\oem4.inf"));
    EXPECT_TRUE(OnDisk(kInf + "\\machine.inf"));
    EXPECT_FALSE(OnDisk(kStaging));
    EXPECT_FALSE(OnDisk(kStaging + "\\TOVRA.INF"));
    EXPECT_EQ(std::count(journal.begin(), journal.end(), "uninstall oem4.inf"), 0);
    // The staged INF is what identifies the copies: it goes last.
    EXPECT_LT(Position("uninstall oem9.inf"), Position("remove " + kStaging + "\\TOVRA.INF"));
    EXPECT_EQ(outcome.removed,
        (std::vector<std::string>{"驱动程序存储中的 oem7.inf", "驱动程序存储中的 oem9.inf", kStaging + "（3 项）"}));
    EXPECT_TRUE(log.Has("已从驱动程序存储删除 C:\\WINDOWS\\inf\\oem7.inf"));
}

TEST_F(UninstallTest, NothingInstalledIsNoFailure)
{
    const UninstallOutcome outcome = RunUninstall(system, log, places);
    EXPECT_EQ(outcome.error, 0u);
    EXPECT_TRUE(outcome.removed.empty());
    EXPECT_TRUE(log.Has("没有暂存目录 " + kStaging));
    EXPECT_TRUE(std::none_of(journal.begin(), journal.end(), [](const std::string& entry) {
        return entry.rfind("remove", 0) == 0 || entry.rfind("rmdir", 0) == 0 || entry.rfind("uninstall", 0) == 0;
    }));
}

TEST_F(UninstallTest, LinksAreRemovedAsLinksAndTheirTargetsStay)
{
    Install();
    system.disk["C:\\Users\\me\\Documents"] = PathKind::Folder;
    AddFile("C:\\Users\\me\\Documents\\thesis.doc", "years of work");
    AddFile("C:\\Users\\me\\notes.txt", "keep");
    system.disk[kStaging + "\\documents"] = PathKind::Link;
    system.linkTargets[kStaging + "\\documents"] = "C:\\Users\\me\\Documents";
    system.disk[kStaging + "\\notes.txt"] = PathKind::Link;
    system.linkTargets[kStaging + "\\notes.txt"] = "C:\\Users\\me\\notes.txt";

    EXPECT_EQ(RunUninstall(system, log, places).error, 0u);
    EXPECT_TRUE(OnDisk("C:\\Users\\me\\Documents\\thesis.doc"));
    EXPECT_TRUE(OnDisk("C:\\Users\\me\\notes.txt"));
    EXPECT_FALSE(OnDisk(kStaging));
    EXPECT_EQ(std::count(journal.begin(), journal.end(), "list " + kStaging + "\\documents"), 0) << "entered the link";
    EXPECT_TRUE(log.Has("已删除链接 " + kStaging + "\\documents（没有进入它指向的位置）"));
}

TEST_F(UninstallTest, StagingPathThatIsALinkLosesOnlyTheLink)
{
    system.disk["D:\\data"] = PathKind::Folder;
    AddFile("D:\\data\\TOVRA.INF", "someone else's");
    system.disk[kStaging] = PathKind::Link;
    system.linkTargets[kStaging] = "D:\\data";
    const UninstallOutcome outcome = RunUninstall(system, log, places);
    EXPECT_EQ(outcome.error, 0u);
    EXPECT_TRUE(OnDisk("D:\\data\\TOVRA.INF"));
    EXPECT_FALSE(OnDisk(kStaging));
    EXPECT_TRUE(log.Has("是一个链接: 只删除了链接本身"));
}

TEST_F(UninstallTest, PlainFileAtTheStagingPathIsKeptWithCode183)
{
    AddFile(kStaging, "a file of someone else's");
    const UninstallOutcome outcome = RunUninstall(system, log, places);
    EXPECT_EQ(outcome.error, 183u);
    EXPECT_TRUE(OnDisk(kStaging));
    EXPECT_NE(outcome.failure.find("是一个文件"), std::string::npos) << outcome.failure;
}

TEST_F(UninstallTest, DriverStoreRefusalKeepsTheStagedPackageForALaterUninstall)
{
    Install();
    system.uninstallErrors["oem7.inf"] = kErrorInfInUseByDevices;
    system.devices["oem7.inf"] = {1, 1}; // the reader is plugged in
    const UninstallOutcome outcome = RunUninstall(system, log, places);
    EXPECT_EQ(outcome.error, 0xE000023Du);
    EXPECT_EQ(outcome.driverStoreError, 0xE000023Du);
    EXPECT_TRUE(OnDisk(kStaging + "\\TOVRA.INF"));
    EXPECT_TRUE(log.Has("保留暂存目录"));
}

// Windows refuses a package while any device was installed with it, plugged in or not.
struct DeviceCase {
    const char* name;
    std::optional<DeviceUse> devices; // nothing: Windows cannot tell
    bool forced;
};

TEST_F(UninstallTest, PackageDevicesWereInstalledWithGoesByForceOnlyWhileNoneIsConnected)
{
    const DeviceCase cases[] = {
        {"no device known", DeviceUse{0, 0}, true},
        {"the reader unplugged", DeviceUse{2, 0}, true},
        {"the reader plugged in", DeviceUse{2, 1}, false},
        {"devices unknown", std::nullopt, false},
    };
    for (const DeviceCase& c : cases) {
        SCOPED_TRACE(c.name);
        journal.clear();
        log.lines.clear();
        Install();
        system.uninstallErrors["oem7.inf"] = kErrorInfInUseByDevices;
        system.devicesError = c.devices ? 0 : 5;
        system.devices["oem7.inf"] = c.devices.value_or(DeviceUse{});
        const UninstallOutcome outcome = RunUninstall(system, log, places);
        EXPECT_EQ(std::count(journal.begin(), journal.end(), "force uninstall oem7.inf"), c.forced ? 1 : 0);
        EXPECT_EQ(OnDisk(kInf + "\\oem7.inf"), !c.forced);
        EXPECT_EQ(outcome.error, c.forced ? 0u : kErrorInfInUseByDevices) << outcome.failure;
        if (c.devices && c.devices->present != 0) {
            EXPECT_EQ(outcome.failure, "读写器仍连接在电脑上，请取出读写器后重新卸载!");
            EXPECT_TRUE(log.Has("请先从电脑上取出读写器，再重新卸载"));
        }
    }
}

// A 32-bit program on 64-bit Windows may be refused by the device-installation functions.
TEST_F(UninstallTest, RefusalOfA32BitCallerIsAFailureAndNeverForced)
{
    Install();
    system.uninstallErrors["oem7.inf"] = kErrorInWow64;
    const UninstallOutcome outcome = RunUninstall(system, log, places);
    EXPECT_EQ(outcome.error, kErrorInWow64);
    EXPECT_EQ(outcome.driverStoreError, kErrorInWow64);
    EXPECT_TRUE(OnDisk(kInf + "\\oem7.inf"));
    EXPECT_EQ(std::count(journal.begin(), journal.end(), "force uninstall oem7.inf"), 0);
    EXPECT_EQ(std::count(journal.begin(), journal.end(), "devices oem7.inf"), 0);
}

// The shipped 32-bit build on 64-bit Windows: the store's work runs in our 64-bit helper,
// and only while the helper is the one built with it.
class HelperUninstallTest : public UninstallTest {
protected:
    const std::string helperPath = "\\\\server\\share\\preinstall_store64.exe";
    NativeStoreHelper helper{helperPath, FakeSha256("MZ our helper")};

    void SetUp() override
    {
        UninstallTest::SetUp();
        Install();
        system.wow64 = true;
        system.windows.architecture = "amd64";
        system.helperPath = helperPath;
        AddFile(helperPath, "MZ our helper");
    }
    UninstallOutcome Run() { return RunUninstall(system, log, places, {}, helper); }
    // The copy stayed, and so did what identifies it.
    void ExpectKeptWith(const UninstallOutcome& outcome, unsigned long code)
    {
        EXPECT_EQ(outcome.error, code) << outcome.failure;
        EXPECT_EQ(outcome.driverStoreError, code);
        EXPECT_TRUE(OnDisk(kInf + "\\oem7.inf"));
        EXPECT_TRUE(OnDisk(kStaging + "\\TOVRA.INF"));
        EXPECT_FALSE(system.fileHeld);
    }
};

TEST_F(HelperUninstallTest, RemovesEachCopyInTheHelperWhileHoldingIt)
{
    AddFile(kInf + "\\oem9.inf", "our package");
    const UninstallOutcome outcome = Run();
    EXPECT_EQ(outcome.error, 0u) << outcome.failure;
    EXPECT_FALSE(OnDisk(kInf + "\\oem7.inf"));
    EXPECT_FALSE(OnDisk(kInf + "\\oem9.inf"));
    EXPECT_EQ(std::count(journal.begin(), journal.end(), "helper uninstall oem7.inf"), 1);
    EXPECT_EQ(std::count(journal.begin(), journal.end(), "uninstall oem7.inf"), 0);
    EXPECT_LT(Position("hold and hash " + helperPath),
        Position("start " + helperPath + " /REMOVE \"oem7.inf\" in " + kInf + "\\"));
    EXPECT_TRUE(system.heldAtStart);
    EXPECT_FALSE(system.fileHeld);
    EXPECT_TRUE(log.Has("驱动程序存储属于 amd64 系统：由 " + helperPath + " 删除"));

    // On 32-bit Windows the store is this process's own: no helper.
    journal.clear();
    Install();
    system.wow64 = false;
    system.windows.architecture = "x86";
    EXPECT_EQ(Run().error, 0u);
    EXPECT_EQ(std::count(journal.begin(), journal.end(), "uninstall oem7.inf"), 1);
    EXPECT_EQ(Position("hold and hash " + helperPath), journal.size());
}

TEST_F(HelperUninstallTest, ForceGoesThroughTheHelperOnlyWhenNoDeviceIsPresent)
{
    system.uninstallErrors["oem7.inf"] = kErrorInfInUseByDevices;
    system.devices["oem7.inf"] = DeviceUse{2, 1};
    ExpectKeptWith(Run(), kErrorInfInUseByDevices);
    EXPECT_EQ(std::count(journal.begin(), journal.end(), "helper force uninstall oem7.inf"), 0);

    system.devices["oem7.inf"] = DeviceUse{2, 0};
    EXPECT_EQ(Run().error, 0u);
    EXPECT_LT(Position("start " + helperPath + " /REMOVE \"oem7.inf\" /FORCE in " + kInf + "\\"),
        Position("helper force uninstall oem7.inf"));
    EXPECT_FALSE(OnDisk(kInf + "\\oem7.inf"));
}

TEST_F(HelperUninstallTest, HelperThatIsMissingIsNeverReplacedByThe32BitCall)
{
    system.hashError = kErrorFileNotFound;
    const UninstallOutcome outcome = Run();
    ExpectKeptWith(outcome, kErrorFileNotFound);
    EXPECT_EQ(
        outcome.failure, "无法读取 64 位驱动程序存储工具 " + helperPath + "，驱动程序存储中的驱动包未删除: error 2");
    EXPECT_EQ(std::count_if(journal.begin(), journal.end(),
                  [](const std::string& entry) { return entry.find("uninstall") != std::string::npos; }),
        0);
}

TEST_F(HelperUninstallTest, ChangedHelperIsNotStarted)
{
    system.bytes[helperPath] = "MZ something else";
    ExpectKeptWith(Run(), kErrorInvalidImageHash);
    EXPECT_TRUE(log.Has("已被改动（SHA-256: " + FakeSha256("MZ something else")));
    EXPECT_TRUE(std::none_of(
        journal.begin(), journal.end(), [](const std::string& entry) { return entry.rfind("start", 0) == 0; }));
}

TEST_F(HelperUninstallTest, HelperThatCannotStartOrDoesNotEndIsAFailure)
{
    system.startError = 193; // ERROR_BAD_EXE_FORMAT: no x64 on this Windows
    ExpectKeptWith(Run(), 193);
    EXPECT_TRUE(log.Has("未能运行完毕"));

    system.startError = 0;
    system.waitError = kErrorTimeout;
    system.uninstallLeaves.insert("oem7.inf");
    ExpectKeptWith(Run(), kErrorTimeout);
    EXPECT_EQ(std::count(journal.begin(), journal.end(), "end helper"), 1);
}

TEST_F(HelperUninstallTest, HelperThatSaysDoneButLeavesTheCopyIsAFailure)
{
    system.uninstallLeaves.insert("oem7.inf");
    ExpectKeptWith(Run(), kErrorDriverStoreDeleteFailed);
}

TEST_F(UninstallTest, RemovalThatSaysDoneButLeavesTheCopyIsAFailure)
{
    Install();
    AddFile(kInf + "\\oem9.inf", "our package");
    system.uninstallLeaves.insert("oem7.inf");
    const UninstallOutcome outcome = RunUninstall(system, log, places);
    EXPECT_EQ(outcome.error, kErrorDriverStoreDeleteFailed);
    EXPECT_EQ(outcome.driverStoreError, kErrorDriverStoreDeleteFailed);
    EXPECT_TRUE(log.Has("删除后 " + kInf + "\\oem7.inf 仍在驱动程序存储中"));
    EXPECT_FALSE(log.Has("已从驱动程序存储删除 " + kInf + "\\oem7.inf")) << "said removed before looking";
    EXPECT_TRUE(log.Has("已从驱动程序存储删除 " + kInf + "\\oem9.inf"));
    EXPECT_EQ(outcome.removed, std::vector<std::string>{StoreCopyRemovedItem("oem9.inf")});
    EXPECT_TRUE(OnDisk(kStaging + "\\TOVRA.INF")) << "the staged INF identifies the copy that stayed";
}

// The copy the marker recorded still identifies the package when a cleaner took the
// staging folder, but only while it has the recorded hash.
TEST_F(UninstallTest, RecordedCopyGoesWithoutTheStagedInfOnlyWhileItIsStillOurs)
{
    const RecordedStoreCopy recorded{"oem7.inf", *system.packageInf};
    AddFile(kInf + "\\oem7.inf", "our package");
    const UninstallOutcome ours = RunUninstall(system, log, places, recorded);
    EXPECT_EQ(ours.error, 0u) << ours.failure;
    EXPECT_FALSE(OnDisk(kInf + "\\oem7.inf"));
    EXPECT_EQ(ours.removed, std::vector<std::string>{StoreCopyRemovedItem("oem7.inf")});

    // oem7.inf now names another package: each of what the INF says tells it apart, and a
    // marker without the driver's values identifies nothing.
    AddFile(kInf + "\\oem7.inf", "a package installed after ours was removed");
    const auto another = [&](void (*change)(PackageInf&)) {
        PackageInf inf = *system.packageInf;
        change(inf);
        return inf;
    };
    const PackageInf others[] = {another([](PackageInf& inf) { inf.driverVersion = "1.0.0.1"; }),
        another([](PackageInf& inf) { inf.driverDate = "01/01/2027"; }),
        another([](PackageInf& inf) { inf.provider = "Another Vendor"; }),
        another([](PackageInf& inf) { inf.classGuid = "{4d36e978-e325-11ce-bfc1-08002be10318}"; })};
    for (const PackageInf& other : others) {
        journal.clear();
        system.infsAt[kInf + "\\oem7.inf"] = other;
        const UninstallOutcome outcome = RunUninstall(system, log, places, recorded);
        EXPECT_EQ(outcome.error, 0u) << outcome.failure;
        EXPECT_TRUE(OnDisk(kInf + "\\oem7.inf"));
        EXPECT_EQ(std::count(journal.begin(), journal.end(), "uninstall oem7.inf"), 0);
    }
    system.infsAt.clear();
    journal.clear();
    EXPECT_EQ(RunUninstall(system, log, places, {"oem7.inf", PackageInf{}}).error, 0u);
    EXPECT_EQ(std::count(journal.begin(), journal.end(), "uninstall oem7.inf"), 0);
    EXPECT_TRUE(log.Has("检测标记记录的 " + kInf + "\\oem7.inf 已不是本驱动程序包"));
}

// A file Windows still holds (a running program's) goes when Windows restarts, under a name
// of its own: the staging folder's names are a later install's. The folder stays for the next
// run; that is no failure, and no restart is claimed for it.
TEST_F(UninstallTest, FileWindowsStillHoldsIsRenamedAsideAndGoesAtRestartUnderThatName)
{
    Install();
    system.runningImages.insert(kStaging + "\\TOVRA_SETUP.EXE");
    const UninstallOutcome outcome = RunUninstall(system, log, places);
    EXPECT_EQ(outcome.error, 0u) << outcome.failure;
    EXPECT_EQ(system.removedAtRestart, std::vector<std::string>{kStaging + "\\~removed.1.TOVRA_SETUP.EXE"});
    EXPECT_FALSE(OnDisk(kStaging + "\\TOVRA_SETUP.EXE"));
    EXPECT_TRUE(log.Has(
        "已删除暂存目录中的项: " + kStaging + "（2 项，其余 1 项在 Windows 重新启动时删除，目录留到下次运行时删除）"));
}

TEST_F(UninstallTest, FileThatCannotBeRemovedEvenAtRestartEndsInItsCodeAndTheRestIsStillRemoved)
{
    Install();
    system.removeErrors[kStaging + "\\setup.log"] = 5;
    system.restartRemovalError = 5;
    const UninstallOutcome outcome = RunUninstall(system, log, places);
    EXPECT_EQ(outcome.error, 5u);
    EXPECT_EQ(outcome.driverStoreError, 0u) << "the driver store's copy went";
    EXPECT_TRUE(OnDisk(kStaging + "\\~removed.1.setup.log")) << "left aside for the next run";
    EXPECT_FALSE(OnDisk(kStaging + "\\TOVRA_SETUP.EXE"));
    EXPECT_TRUE(OnDisk(kStaging)) << "removed a folder that was not empty";
    EXPECT_EQ(outcome.failure, "无法删除 " + kStaging + "\\~removed.1.setup.log: error 5");
}

TEST(UninstallTexts, BoxListsWhatWasRemoved)
{
    EXPECT_EQ(
        UninstalledText({"驱动程序存储中的 oem7.inf", "检测标记"}), "已卸载:\n驱动程序存储中的 oem7.inf\n检测标记");
}

} // namespace
