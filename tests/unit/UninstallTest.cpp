// The uninstall procedure against a fake disk with links, and the driver store.
#include "staging/Uninstall.h"
#include "staging/Texts.h"
#include "tests/unit/FakeOps.h"

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
    const UninstallOutcome outcome = RunUninstall(system, log);
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
    const UninstallOutcome outcome = RunUninstall(system, log);
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

    EXPECT_EQ(RunUninstall(system, log).error, 0u);
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
    const UninstallOutcome outcome = RunUninstall(system, log);
    EXPECT_EQ(outcome.error, 0u);
    EXPECT_TRUE(OnDisk("D:\\data\\TOVRA.INF"));
    EXPECT_FALSE(OnDisk(kStaging));
    EXPECT_TRUE(log.Has("是一个链接: 只删除了链接本身"));
}

TEST_F(UninstallTest, PlainFileAtTheStagingPathIsKeptWithCode183)
{
    AddFile(kStaging, "a file of someone else's");
    const UninstallOutcome outcome = RunUninstall(system, log);
    EXPECT_EQ(outcome.error, 183u);
    EXPECT_TRUE(OnDisk(kStaging));
    EXPECT_NE(outcome.failure.find("是一个文件"), std::string::npos) << outcome.failure;
}

TEST_F(UninstallTest, DriverStoreRefusalKeepsTheStagedPackageForALaterUninstall)
{
    Install();
    system.uninstallErrors["oem7.inf"] = 0xE000023D; // ERROR_INF_IN_USE_BY_DEVICES
    const UninstallOutcome outcome = RunUninstall(system, log);
    EXPECT_EQ(outcome.error, 0xE000023Du);
    EXPECT_EQ(outcome.driverStoreError, 0xE000023Du);
    EXPECT_NE(outcome.failure.find("oem7.inf"), std::string::npos) << outcome.failure;
    EXPECT_TRUE(OnDisk(kStaging + "\\TOVRA.INF"));
    EXPECT_TRUE(log.Has("保留暂存目录"));
}

TEST_F(UninstallTest, FileThatCannotBeRemovedEndsInItsCodeAndTheRestIsStillRemoved)
{
    Install();
    system.removeErrors[kStaging + "\\setup.log"] = 5;
    const UninstallOutcome outcome = RunUninstall(system, log);
    EXPECT_EQ(outcome.error, 5u);
    EXPECT_EQ(outcome.driverStoreError, 0u) << "the driver store's copy went";
    EXPECT_TRUE(OnDisk(kStaging + "\\setup.log"));
    EXPECT_FALSE(OnDisk(kStaging + "\\TOVRA_SETUP.EXE"));
    EXPECT_TRUE(OnDisk(kStaging)) << "removed a folder that was not empty";
    EXPECT_EQ(outcome.failure, "无法删除 " + kStaging + "\\setup.log: error 5");
}

TEST(UninstallTexts, BoxListsWhatWasRemoved)
{
    EXPECT_EQ(
        UninstalledText({"驱动程序存储中的 oem7.inf", "检测标记"}), "已卸载:\n驱动程序存储中的 oem7.inf\n检测标记");
}

} // namespace
