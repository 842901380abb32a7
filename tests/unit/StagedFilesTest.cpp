// Replacing staged files where Windows keeps a deleted name taken while someone holds the
// file, and the staging folder's leftovers; against the fake disk.
#include "staging/StagedFiles.h"
#include "staging/PreInstall.h"
#include "tests/unit/FakeSystem.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace {

const std::string kStaging = "C:\\WINDOWS\\tovra_driver\\";

class StagedFilesTest : public ::testing::Test {
protected:
    Journal journal;
    FakeFiles system{journal};
    RecordingLog log;

    void SetUp() override
    {
        system.disk["C:\\WINDOWS\\tovra_driver"] = PathKind::Folder;
        AddFile("C:\\Package\\TOVRA.DLL", "new DLL");
        AddFile(kStaging + "TOVRA.DLL", "old DLL");
    }
    void AddFile(const std::string& path, const std::string& bytes)
    {
        system.disk[path] = PathKind::File;
        system.bytes[path] = bytes;
    }
    unsigned long Replace() { return ReplaceWithCopy(system, log, "C:\\Package\\TOVRA.DLL", kStaging + "TOVRA.DLL"); }
    std::vector<std::string> Aside() const
    {
        std::vector<std::string> names;
        for (const auto& [path, kind] : system.disk)
            if (path.rfind(kStaging + "~removed.", 0) == 0)
                names.push_back(path);
        return names;
    }
};

// An antivirus scanner holds the old file open: deleted, its name would stay taken and the
// copy would fail. Renamed aside first, the name is free.
TEST_F(StagedFilesTest, NameThatWindowsStillHoldsIsFreedByRenamingTheOldFileAside)
{
    system.heldOpen.insert(kStaging + "TOVRA.DLL");
    EXPECT_EQ(Replace(), 0u);
    EXPECT_EQ(system.bytes[kStaging + "TOVRA.DLL"], "new DLL");
    ASSERT_EQ(Aside(), std::vector<std::string>{kStaging + "~removed.1.TOVRA.DLL"});
    system.CloseHandlesOn(kStaging + "~removed.1.TOVRA.DLL");
    EXPECT_TRUE(Aside().empty()) << "the old file stayed once its last handle closed";
}

// A running program has the old DLL loaded: Windows renames it but will not delete it.
TEST_F(StagedFilesTest, LoadedFileGoesWhenWindowsRestartsOrOnTheNextRun)
{
    system.runningImages.insert(kStaging + "TOVRA.DLL");
    EXPECT_EQ(Replace(), 0u);
    EXPECT_EQ(system.bytes[kStaging + "TOVRA.DLL"], "new DLL");
    EXPECT_EQ(system.removedAtRestart, std::vector<std::string>{kStaging + "~removed.1.TOVRA.DLL"});
    EXPECT_TRUE(log.Has(kStaging + "~removed.1.TOVRA.DLL 仍被占用，将在 Windows 重新启动时删除"));

    // The next replacement takes the next free name; the next run removes both once free.
    AddFile(kStaging + "TOVRA.DLL", "newer DLL");
    system.runningImages.insert(kStaging + "TOVRA.DLL");
    EXPECT_EQ(Replace(), 0u);
    EXPECT_EQ(Aside().size(), 2u);
    system.runningImages.clear();
    RemoveLeftovers(system, log, kStaging);
    EXPECT_TRUE(Aside().empty());
}

TEST_F(StagedFilesTest, AsideNamesStillTakenAreSkipped)
{
    AddFile(kStaging + "~removed.1.TOVRA.DLL", "an earlier run's, still held");
    AddFile(kStaging + "~removed.2.TOVRA.DLL", "another");
    system.runningImages = {kStaging + "~removed.1.TOVRA.DLL", kStaging + "~removed.2.TOVRA.DLL"};
    EXPECT_EQ(Replace(), 0u);
    EXPECT_EQ(system.bytes[kStaging + "~removed.1.TOVRA.DLL"], "an earlier run's, still held");
    EXPECT_EQ(system.bytes[kStaging + "TOVRA.DLL"], "new DLL");
    EXPECT_EQ(system.disk.count(kStaging + "~removed.3.TOVRA.DLL"), 0u) << "the old file was not removed";
}

// Held without delete sharing, the file cannot be renamed either: the copy fails with that
// error and the old file keeps its bytes.
TEST_F(StagedFilesTest, FileHeldWithoutDeleteSharingIsAFailureAndKeepsItsBytes)
{
    system.renameErrors[kStaging + "TOVRA.DLL"] = kErrorSharingViolation;
    EXPECT_EQ(Replace(), kErrorSharingViolation);
    EXPECT_EQ(system.bytes[kStaging + "TOVRA.DLL"], "old DLL");
}

// A hard link or a link an ordinary user left at the staged name is renamed itself: what it
// leads to keeps its bytes, and the copy is a new file.
TEST_F(StagedFilesTest, LinkAtTheNameIsRenamedAsItselfAndNeverWrittenThrough)
{
    AddFile("C:\\WINDOWS\\system.ini", "the system's own");
    system.disk.erase(kStaging + "TOVRA.DLL");
    system.bytes.erase(kStaging + "TOVRA.DLL");
    system.disk[kStaging + "TOVRA.DLL"] = PathKind::Link;
    system.linkTargets[kStaging + "TOVRA.DLL"] = "C:\\WINDOWS\\system.ini";
    EXPECT_EQ(Replace(), 0u);
    EXPECT_EQ(system.bytes["C:\\WINDOWS\\system.ini"], "the system's own");
    EXPECT_EQ(system.disk["C:\\WINDOWS\\system.ini"], PathKind::File);
    EXPECT_EQ(system.disk[kStaging + "TOVRA.DLL"], PathKind::File);
    EXPECT_EQ(system.bytes[kStaging + "TOVRA.DLL"], "new DLL");
}

TEST_F(StagedFilesTest, LeftoversAreRemovedButNothingElse)
{
    AddFile(kStaging + "~removed.4.TOVRA.INF", "old");
    system.disk[kStaging + "~temp.2"] = PathKind::Folder;
    AddFile(kStaging + "~temp.2\\setup.tmp", "a setup's");
    AddFile(kStaging + "notes.txt", "kept");
    RemoveLeftovers(system, log, kStaging);
    EXPECT_EQ(system.disk.count(kStaging + "~removed.4.TOVRA.INF"), 0u);
    EXPECT_EQ(system.disk.count(kStaging + "~temp.2"), 0u);
    EXPECT_EQ(system.disk.count(kStaging + "TOVRA.DLL"), 1u);
    EXPECT_EQ(system.disk.count(kStaging + "notes.txt"), 1u);
}

// The setup, and only the setup, gets a temporary folder of its own in the protected staging
// folder: as SYSTEM its TEMP would otherwise be one where any user can create files.
class SetupTempTest : public FakeRunTest { };

TEST_F(SetupTempTest, SetupGetsItsOwnTempFolderThatGoesAfterIt)
{
    system.disk[kStaging.substr(0, kStaging.size() - 1)] = PathKind::Folder;
    system.disk[kStaging + "~temp.1"] = PathKind::Folder; // an earlier run's, with a file Windows still holds
    system.disk[kStaging + "~temp.1\\held.tmp"] = PathKind::File;
    system.runningImages.insert(kStaging + "~temp.1\\held.tmp");
    EXPECT_EQ(DeploymentExitCode(Press()), 0u);
    const std::vector<std::pair<std::string, std::string>> environment = {
        {"TEMP", kStaging + "~temp.2"}, {"TMP", kStaging + "~temp.2"}};
    EXPECT_EQ(system.lastStart.environment, environment);
    EXPECT_EQ(system.disk.count(kStaging + "~temp.2"), 0u) << "the setup's folder outlived it";
    EXPECT_EQ(system.disk.count(kStaging + "~temp.1"), 1u);
    EXPECT_TRUE(log.Has("现在无法删除 " + kStaging + "~temp.1，下次运行时再删除"));
}

} // namespace
