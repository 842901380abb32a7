// A fake disk of paths, with links, behaving as Microsoft documents Windows where Wine does
// not show it: a deleted file's name stays taken while another handle holds the file, and a
// running image cannot be deleted but can be renamed.
#pragma once

#include "staging/DriverPackage.h"
#include "staging/Interfaces.h"
#include "tests/unit/FakeWindow.h"

#include <cstdio>
#include <functional>
#include <map>
#include <set>
#include <string>
#include <vector>

// A stand-in for a file's SHA-256: 64 hexadecimal digits that differ with the bytes.
inline std::string FakeSha256(const std::string& bytes)
{
    char digits[17];
    std::snprintf(digits, sizeof digits, "%016zx", std::hash<std::string>()(bytes));
    return std::string(digits) + digits + digits + digits;
}

class FakeFiles : public Files {
public:
    explicit FakeFiles(Journal& journal)
        : journal_(journal)
    {
        disk["C:\\WINDOWS\\inf"] = PathKind::Folder;
    }

    std::set<std::string> files; // the package files, for FileExists
    std::string windowsDirectory = "C:\\WINDOWS";
    unsigned long windowsDirectoryError = 0;
    unsigned long mkdirError = 0;
    std::map<std::string, unsigned long> copyErrors; // by destination
    unsigned long protectError = 0;
    unsigned long hashError = 0;
    bool fileHeld = false; // by HoldFile, until the held file goes

    std::map<std::string, PathKind> disk;
    std::map<std::string, std::string> bytes;
    std::map<std::string, std::string> linkTargets;
    std::map<std::string, unsigned long> removeErrors; // by path
    std::map<std::string, unsigned long> renameErrors; // by the path renamed
    std::set<std::string> heldOpen;                    // another process holds these open, sharing delete (a scanner)
    std::set<std::string> runningImages;               // mapped as a running program's image (a loaded DLL)
    std::set<std::string> deletePending;               // deleted, their names taken until the last handle closes
    std::vector<std::string> removedAtRestart;
    unsigned long restartRemovalError = 0;

    // The four package files in `directory`, the INF with bytes of its own, and the program.
    void AddPackage(const std::string& directory)
    {
        for (const char* name : {"TOVRA.EXB", "TOVRA.INF", "TOVRAWDM.SYS", "TOVRA.DLL"})
            files.insert(directory + name);
        bytes[directory + "TOVRA.INF"] = "[Version] our package";
        bytes[directory + "preinstall.exe"] = "MZ the program";
    }

    // Windows restarts: what was scheduled goes, by name, in order; a folder only if empty.
    void Restart()
    {
        runningImages.clear();
        heldOpen.clear();
        for (const std::string& path : removedAtRestart)
            if (disk.count(path) != 0 && RemoveEmptyFolder(path) != 0 && disk[path] == PathKind::File)
                static_cast<void>(Remove("restart removes " + path, path));
        removedAtRestart.clear();
    }

    // The other process closes its handle: a deleted file's name is free.
    void CloseHandlesOn(const std::string& path)
    {
        heldOpen.erase(path);
        if (deletePending.erase(path) != 0) {
            disk.erase(path);
            bytes.erase(path);
        }
    }

    bool FileExists(const std::string& path) override
    {
        journal_.push_back("exists " + path);
        return files.count(path) != 0;
    }
    PathKind KindOfPath(const std::string& path) override
    {
        const auto found = disk.find(ThroughLinks(path));
        return found == disk.end() ? PathKind::Missing : found->second;
    }
    Result<std::uint64_t> FileSize(const std::string& path) override
    {
        const auto found = bytes.find(path);
        return found != bytes.end() ? found->second.size() : path.size(); // else any size that differs by file
    }
    Result<std::string> WindowsDirectory() override
    {
        if (windowsDirectoryError != 0)
            return Failed{windowsDirectoryError};
        return windowsDirectory;
    }
    Result<bool> MakeDirectory(const std::string& path) override
    {
        journal_.push_back("mkdir " + path);
        if (mkdirError != 0)
            return Failed{mkdirError};
        const PathKind kind = KindOfPath(path);
        if (kind == PathKind::Folder)
            return false;
        if (kind != PathKind::Missing)
            return Failed{kErrorAlreadyExists};
        disk[path] = PathKind::Folder;
        return true;
    }
    unsigned long ProtectFolder(const std::string& path) override
    {
        journal_.push_back("protect " + path);
        return protectError;
    }
    unsigned long CopyToNewFile(const std::string& from, const std::string& to) override
    {
        journal_.push_back("copy " + from + " -> " + to);
        const auto error = copyErrors.find(to);
        if (error != copyErrors.end())
            return error->second;
        if (deletePending.count(to) != 0)
            return kErrorAccessDenied; // as Windows answers for a name whose file is being deleted
        if (KindOfPath(to) != PathKind::Missing)
            return kErrorFileExists;
        if (files.count(from) == 0 && bytes.count(from) == 0)
            return kErrorFileNotFound;
        disk[to] = PathKind::File;
        if (bytes.count(from) != 0)
            bytes[to] = bytes[from];
        return 0;
    }
    unsigned long Rename(const std::string& from, const std::string& to) override
    {
        journal_.push_back("rename " + from + " -> " + to);
        if (const auto error = renameErrors.find(from); error != renameErrors.end())
            return error->second;
        if (disk.count(to) != 0)
            return kErrorAlreadyExists;
        const auto entry = disk.find(from);
        if (entry == disk.end())
            return kErrorFileNotFound;
        disk[to] = entry->second;
        disk.erase(entry);
        for (auto* moved : {&bytes, &linkTargets})
            if (const auto found = moved->find(from); found != moved->end()) {
                (*moved)[to] = found->second;
                moved->erase(from);
            }
        // The handles others hold follow the file.
        for (auto* held : {&heldOpen, &runningImages})
            if (held->erase(from) != 0)
                held->insert(to);
        return 0;
    }
    unsigned long RemoveFile(const std::string& path) override { return Remove("remove " + path, path); }
    unsigned long RemoveEmptyFolder(const std::string& folder) override
    {
        const std::string prefix = ThroughLinks(folder, true) + "\\";
        for (const auto& [path, kind] : disk)
            if (path.rfind(prefix, 0) == 0)
                return 145; // ERROR_DIR_NOT_EMPTY
        return Remove("rmdir " + folder, folder);
    }
    unsigned long RemoveAtRestart(const std::string& path) override
    {
        journal_.push_back("remove at restart " + path);
        if (restartRemovalError == 0)
            removedAtRestart.push_back(path);
        return restartRemovalError;
    }
    Result<std::vector<std::string>> ListFolder(const std::string& folder) override
    {
        BeforeListing();
        const std::string bare = folder.back() == '\\' ? folder.substr(0, folder.size() - 1) : folder;
        journal_.push_back("list " + bare);
        const std::string prefix = ThroughLinks(bare, true) + "\\";
        std::vector<std::string> names;
        for (const auto& [path, kind] : disk)
            if (path.rfind(prefix, 0) == 0 && path.find('\\', prefix.size()) == std::string::npos)
                names.push_back(path.substr(prefix.size()));
        if (names.empty() && disk.count(ThroughLinks(bare, true)) == 0)
            return Failed{3}; // ERROR_PATH_NOT_FOUND
        return names;
    }
    Result<std::string> ReadFileBytes(const std::string& path) override
    {
        const auto found = bytes.find(ThroughLinks(path, true));
        if (found == bytes.end())
            return Failed{kErrorFileNotFound};
        return found->second;
    }
    Result<std::unique_ptr<HeldFile>> HoldFile(const std::string& path) override
    {
        journal_.push_back("hold and hash " + path);
        if (hashError != 0)
            return Failed{hashError};
        fileHeld = true;
        return std::unique_ptr<HeldFile>(std::make_unique<Held>(*this, bytes[path]));
    }

    void Journalize(const std::string& entry) { journal_.push_back(entry); }

protected:
    // What else changes the disk while time passes (a setup that runs), seen by a listing.
    virtual void BeforeListing() { }

private:
    class Held final : public HeldFile {
    public:
        Held(FakeFiles& files, std::string bytes)
            : files_(files)
            , bytes_(std::move(bytes))
        {
        }
        ~Held() override
        {
            files_.fileHeld = false;
            files_.Journalize("release held file");
        }
        Result<std::string> Sha256() override { return FakeSha256(bytes_); }

    private:
        FakeFiles& files_;
        std::string bytes_;
    };

    // The path Windows reaches through the links on the way; the last part too when `last`.
    std::string ThroughLinks(const std::string& path, bool last = false) const
    {
        for (const auto& [link, target] : linkTargets)
            if (path.rfind(link + "\\", 0) == 0)
                return target + path.substr(link.size());
            else if (last && path == link)
                return target;
        return path;
    }
    unsigned long Remove(const std::string& entry, const std::string& path)
    {
        journal_.push_back(entry);
        const auto error = removeErrors.find(path);
        if (error != removeErrors.end())
            return error->second;
        if (runningImages.count(path) != 0 || deletePending.count(path) != 0)
            return kErrorAccessDenied;
        if (heldOpen.count(path) != 0) {
            deletePending.insert(path); // gone when the other handle closes
            return 0;
        }
        // Removing a link takes the link; anything else is reached through the links.
        if (linkTargets.erase(path) == 0)
            disk.erase(ThroughLinks(path));
        else
            disk.erase(path);
        bytes.erase(ThroughLinks(path));
        return 0;
    }

    Journal& journal_;
};
