// The administrator's log, opened only where its path really leads, on the volumes
// administrators keep logs on: local NTFS, a share, a mapped or SUBST drive, FAT. The fake
// behaves as Windows does: a drive letter can lead to a share or to another folder, a file
// is known by its volume's serial number and its index (some servers give none: 0), FAT
// keeps no owners, and a share records what SYSTEM creates there as this computer's
// account's ("PC$").
#include "staging/CheckedLog.h"

#include <gtest/gtest.h>

#include <functional>
#include <map>
#include <set>

namespace {

struct FakeVolume {
    unsigned long serial;
    bool keepsOwners;
    bool remote = false;
    bool givesIndexes = true;
};

struct FakeLogEntry {
    FileIdentity identity;
    std::string owner = "SYSTEM";
    unsigned long links = 1;
    std::string linkTarget; // a symbolic link to a file: the path it leads to
    std::string bytes;
};

class FakeLogFiles : public LogFiles {
public:
    std::map<std::string, FakeVolume> volumes; // by root
    std::map<std::string, std::string> drives; // a mapped or SUBST drive's root, and where it leads
    std::map<std::string, std::string> folderLinks;
    std::map<std::string, FakeLogEntry> entries; // by real path
    std::string currentFolder = "C:\\Work\\";
    std::function<void()> afterOpen;
    std::vector<std::string> removed;
    bool ownerAsked = false;
    std::uint64_t nextIndex = 100;

    FakeLogFiles()
    {
        volumes["C:\\"] = {0xC0C0, true};
        volumes["\\\\server\\logs\\"] = {0x5E5E, true, true};
        volumes["\\\\nas\\logs\\"] = {0, true, true, false};
        volumes["F:\\"] = {0xFAFA, false};
    }
    void Add(const std::string& path, const std::string& owner = "SYSTEM", unsigned long links = 1,
        const std::string& linkTarget = "")
    {
        const FakeVolume& volume = VolumeOf(path);
        FakeLogEntry& entry = entries[path];
        entry = FakeLogEntry{{volume.serial, volume.givesIndexes ? nextIndex++ : 0}, owner, links, linkTarget, ""};
    }
    // Where a path really is: a drive's mapping and the folder links on the way followed;
    // the last part too when `followLast`.
    std::string RealPath(std::string path, bool followLast) const
    {
        for (const auto& [drive, target] : drives)
            if (path.rfind(drive, 0) == 0)
                path = target + path.substr(drive.size());
        for (const auto& [link, target] : folderLinks)
            if (path.rfind(link + "\\", 0) == 0)
                path = target + path.substr(link.size());
        const auto entry = entries.find(path);
        if (followLast && entry != entries.end() && !entry->second.linkTarget.empty())
            return entry->second.linkTarget;
        return path;
    }
    const FakeVolume& VolumeOf(const std::string& realPath) const
    {
        for (const auto& [root, volume] : volumes)
            if (realPath.rfind(root, 0) == 0)
                return volume;
        throw std::logic_error("no volume for " + realPath);
    }

    Result<std::string> FullPath(const std::string& path) override
    {
        return path.find(":\\") == 1 || path.rfind("\\\\", 0) == 0 ? path : currentFolder + path;
    }
    bool IsLink(const std::string& path) override
    {
        const std::string real = RealPath(path, false);
        if (folderLinks.count(path) != 0 || folderLinks.count(real) != 0)
            return true;
        const auto entry = entries.find(real);
        return entry != entries.end() && !entry->second.linkTarget.empty();
    }
    Result<std::unique_ptr<LogFile>> OpenForAppend(const std::string& fullPath) override;
    Result<FileIdentity> IdentityOf(const std::string& fullPath) override
    {
        const auto entry = entries.find(RealPath(fullPath, true));
        if (entry == entries.end())
            return Failed{2};
        return entry->second.identity;
    }
};

// An open handle: it stays with its file whatever names the file gets later.
class FakeLogFile : public LogFile {
public:
    FakeLogFile(FakeLogFiles& files, const std::string& realPath, bool created)
        : files_(files)
        , identity_(files.entries.at(realPath).identity)
        , created_(created)
    {
    }
    bool Created() const override { return created_; }
    Result<OpenedFileFacts> Facts() override
    {
        const FakeLogEntry& entry = Entry();
        return OpenedFileFacts{entry.identity, entry.links, !entry.linkTarget.empty()};
    }
    Result<bool> VolumeKeepsOwners() override { return files_.VolumeOf(Path()).keepsOwners; }
    Result<bool> OnAnotherComputer() override { return files_.VolumeOf(Path()).remote; }
    Result<FileOwner> Owner() override
    {
        files_.ownerAsked = true;
        if (!files_.VolumeOf(Path()).keepsOwners)
            return Failed{1307}; // no owner to be had
        const std::string& owner = Entry().owner;
        if (owner == "SYSTEM" || owner == "Administrators")
            return FileOwner::Trusted;
        return owner == "PC$" ? FileOwner::ThisComputer : FileOwner::Other;
    }
    void RemoveCreated() override
    {
        files_.removed.push_back(Path());
        files_.entries.erase(Path());
    }
    Result<std::uint64_t> Size() override { return Entry().bytes.size(); }
    unsigned long Append(const std::string& bytes) override
    {
        Entry().bytes += bytes;
        return 0;
    }

private:
    std::string Path() const
    {
        for (const auto& [path, entry] : files_.entries)
            if (entry.identity == identity_)
                return path;
        throw std::logic_error("the opened file is gone");
    }
    FakeLogEntry& Entry() { return files_.entries.at(Path()); }

    friend class FakeLogFiles;

    FakeLogFiles& files_;
    FileIdentity identity_;
    bool created_;
};

Result<std::unique_ptr<LogFile>> FakeLogFiles::OpenForAppend(const std::string& fullPath)
{
    const std::string real = RealPath(fullPath, false); // a link at the last part is opened itself
    const bool created = entries.count(real) == 0;
    if (created)
        Add(real, VolumeOf(real).remote ? "PC$" : "SYSTEM"); // as the server records SYSTEM here
    auto opened = std::make_unique<FakeLogFile>(*this, real, created);
    if (afterOpen)
        afterOpen();
    return std::unique_ptr<LogFile>(std::move(opened));
}

class CheckedLogTest : public ::testing::Test {
protected:
    FakeLogFiles files;

    bool identityUnknown = false;

    // Opens the log and writes a line: 0, or the error of the refusal.
    unsigned long Write(const std::string& path)
    {
        Result<CheckedLog> log = OpenCheckedLog(files, path);
        if (!log)
            return log.Error();
        identityUnknown = log->identityUnknown;
        return log->file->Append("a line\r\n");
    }
};

// The share records the log SYSTEM created there as this computer's: the next run takes it.
// Another computer's, or a local file of that owner, is refused.
TEST_F(CheckedLogTest, LogOnAShareThatThisComputerWroteIsWrittenRunAfterRun)
{
    files.Add("\\\\server\\logs\\preinstall.log", "Administrators");
    EXPECT_EQ(Write("\\\\server\\logs\\preinstall.log"), 0u);
    EXPECT_EQ(files.entries["\\\\server\\logs\\preinstall.log"].bytes, "a line\r\n");
    for (int run = 0; run < 2; ++run)
        EXPECT_EQ(Write("\\\\server\\logs\\new.log"), 0u) << "run " << run;
    EXPECT_EQ(files.entries["\\\\server\\logs\\new.log"].bytes, "a line\r\na line\r\n");
    EXPECT_FALSE(identityUnknown);

    files.Add("\\\\server\\logs\\other.log", "OTHERPC$");
    files.Add("C:\\Logs\\planted.log", "PC$");
    EXPECT_EQ(Write("\\\\server\\logs\\other.log"), 1307u);
    EXPECT_EQ(Write("C:\\Logs\\planted.log"), 1307u);
}

// A server that gives no file index: the identity is unknown, never a match, and said so.
TEST_F(CheckedLogTest, FileIndexOfZeroIsUnknownAndNeverAMatch)
{
    for (int run = 0; run < 2; ++run) {
        identityUnknown = false;
        EXPECT_EQ(Write("\\\\nas\\logs\\preinstall.log"), 0u) << "run " << run;
        EXPECT_TRUE(identityUnknown) << "run " << run;
    }
    // On a volume that gives indexes, the same checks find the identity.
    EXPECT_EQ(Write("\\\\server\\logs\\preinstall.log"), 0u);
    EXPECT_FALSE(identityUnknown);
}

// The path given and where the opened file really is differ as strings; the file is the same.
TEST_F(CheckedLogTest, LogOnAMappedOrSubstDriveIsTheSameFileAsWhereTheDriveLeads)
{
    files.drives["M:\\"] = "\\\\server\\logs\\";
    files.drives["S:\\"] = "C:\\Logs\\";
    files.Add("\\\\server\\logs\\preinstall.log", "Administrators");
    files.Add("C:\\Logs\\preinstall.log");
    EXPECT_EQ(Write("M:\\preinstall.log"), 0u);
    EXPECT_EQ(files.entries["\\\\server\\logs\\preinstall.log"].bytes, "a line\r\n");
    EXPECT_EQ(Write("S:\\preinstall.log"), 0u);
    EXPECT_EQ(files.entries["C:\\Logs\\preinstall.log"].bytes, "a line\r\n");
}

TEST_F(CheckedLogTest, LogOnAVolumeWithoutOwnersIsNotAskedForOne)
{
    files.Add("F:\\logs\\preinstall.log", "");
    EXPECT_EQ(Write("F:\\logs\\preinstall.log"), 0u);
    EXPECT_FALSE(files.ownerAsked);
    EXPECT_EQ(files.entries["F:\\logs\\preinstall.log"].bytes, "a line\r\n");
}

// On a volume that keeps them, the rules against links, second names and foreign owners stay.
TEST_F(CheckedLogTest, LinksSecondNamesAndForeignOwnersAreRefused)
{
    files.Add("C:\\Windows\\system.ini", "SYSTEM");
    files.Add("C:\\Logs\\hard.log", "SYSTEM", 2);
    files.Add("C:\\Logs\\link.log", "SYSTEM", 1, "C:\\Windows\\system.ini");
    files.Add("C:\\Logs\\theirs.log", "Mallory");
    files.folderLinks["C:\\Logs\\through"] = "C:\\Windows";
    EXPECT_EQ(Write("C:\\Logs\\hard.log"), kErrorTooManyLinks);
    EXPECT_EQ(Write("C:\\Logs\\link.log"), kErrorReparsePointEncountered);
    EXPECT_EQ(Write("C:\\Logs\\through\\system.ini"), kErrorReparsePointEncountered);
    EXPECT_EQ(Write("C:\\Logs\\theirs.log"), 1307u);
    EXPECT_TRUE(files.ownerAsked);
    for (const auto& [path, entry] : files.entries)
        EXPECT_EQ(entry.bytes, "") << path << " was written";
    EXPECT_TRUE(files.removed.empty()) << "a file that was there before was removed";
}

// A folder link put on the way between the checks and the open takes the open elsewhere:
// the file it created there is refused and removed again.
TEST_F(CheckedLogTest, NewLogThatIsRefusedIsRemoved)
{
    files.afterOpen = [this] { files.folderLinks["C:\\Logs"] = "C:\\Windows"; };
    EXPECT_EQ(Write("C:\\Logs\\preinstall.log"), kErrorReparsePointEncountered);
    EXPECT_EQ(files.removed, std::vector<std::string>{"C:\\Logs\\preinstall.log"});
    EXPECT_EQ(files.entries.count("C:\\Logs\\preinstall.log"), 0u);
}

// What the path leads to after the open must be the file opened.
TEST_F(CheckedLogTest, PathThatLeadsToAnotherFileAfterTheOpenIsRefused)
{
    files.Add("C:\\Logs\\preinstall.log");
    files.afterOpen = [this] {
        files.entries["C:\\Logs\\moved.log"] = files.entries["C:\\Logs\\preinstall.log"];
        files.Add("C:\\Logs\\preinstall.log");
    };
    EXPECT_EQ(Write("C:\\Logs\\preinstall.log"), kErrorReparsePointEncountered);
}

TEST_F(CheckedLogTest, RelativePathIsInTheCurrentFolder)
{
    EXPECT_EQ(Write("preinstall.log"), 0u);
    EXPECT_EQ(files.entries["C:\\Work\\preinstall.log"].bytes, "a line\r\n");
}

} // namespace
