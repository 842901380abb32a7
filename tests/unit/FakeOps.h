// Fake window, system, log and deployment operations for the portable procedures and
// rules. They write to one journal, so the order of what happens can be checked. The
// fake system behaves as Microsoft documents Windows where Wine does not show it: a
// deleted file's name stays taken while another handle holds the file, a running image
// cannot be deleted but can be renamed, and before Windows 8 a process is in one job at most.
#pragma once

#include "staging/Deployment.h"
#include "staging/DriverPackage.h"
#include "staging/Paths.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <stdexcept>

#include <map>
#include <set>
#include <string>
#include <vector>

using Journal = std::vector<std::string>;

// A stand-in for a file's SHA-256: 64 hexadecimal digits that differ with the bytes.
inline std::string FakeSha256(const std::string& bytes)
{
    char digits[17];
    std::snprintf(digits, sizeof digits, "%016zx", std::hash<std::string>()(bytes));
    return std::string(digits) + digits + digits + digits;
}

class FakeWindow : public WindowOps {
public:
    explicit FakeWindow(Journal& journal)
        : journal_(journal)
    {
    }
    std::string exePath = "C:\\Package\\preinstall.exe";
    bool buttonEnabled = true;
    bool labelVisible = false;
    std::vector<std::string> messages;

    std::string ExecutablePath() override { return exePath; }
    void ShowMessage(const std::string& text, const std::string& caption, unsigned iconFlags) override
    {
        messages.push_back(text);
        journal_.push_back("message " + caption + " " + std::to_string(iconFlags) + " " + text);
    }
    void SetPreInstallButtonEnabled(bool enabled) override
    {
        buttonEnabled = enabled;
        journal_.push_back(enabled ? "enable button" : "disable button");
    }
    void ShowSuccessLabel() override
    {
        labelVisible = true;
        journal_.push_back("show label");
    }

private:
    Journal& journal_;
};

class FakeSystem;

// A program the fake system started: the staged setup, which runs on the fake clock from
// its Resume, or our 64-bit store helper, which does its work at once.
class FakeStartedProgram final : public StartedProgram {
public:
    enum class Kind { Setup, Helper, Continuation };
    FakeStartedProgram(FakeSystem& system, ProgramStart start, Kind kind)
        : system_(system)
        , start_(std::move(start))
        , kind_(kind)
    {
    }
    unsigned long ProcessId() const override { return kind_ == Kind::Setup ? 4242 : 4343; }
    unsigned long PutInNewJob() override;
    void Resume() override;
    Result<unsigned long> WaitForExit(unsigned long milliseconds) override;
    void End() override;
    std::optional<bool> JobStillRuns() override;
    void* EndSignal() const override { return nullptr; }

private:
    FakeSystem& system_;
    ProgramStart start_;
    Kind kind_;
    bool inJob_ = false;
    bool resumed_ = false;
    std::optional<unsigned long> exitCode_; // of a helper or continuation, once resumed
};

// The system: a disk of paths (with links), and a setup that runs on a fake clock. By
// default the setup adds the staged INF to the driver store (as oem1.inf) at once and ends
// with 0 when it has run `setupRunsMs`.
class FakeSystem : public Files, public DriverStore, public Programs, public Clock, public ErrorTexts {
public:
    explicit FakeSystem(Journal& journal)
        : journal_(journal)
    {
        disk["C:\\WINDOWS\\inf"] = PathKind::Folder;
    }
    operator OperatingSystem() { return {*this, *this, *this, *this, *this}; }

    std::set<std::string> files; // the package files, for FileExists
    std::string windowsDirectory = "C:\\WINDOWS";
    bool firstQueryFails = false;
    bool secondQueryFails = false;
    unsigned long queryError = 0;
    unsigned long mkdirError = 0;
    std::map<std::string, unsigned long> copyErrors; // by destination
    unsigned long protectError = 0;
    unsigned long hashError = 0;
    bool fileHeld = false;    // by HoldFile, until the held file goes
    bool heldAtStart = false; // whether it was when a program started
    unsigned long startError = 0;
    unsigned long waitError = 0;
    unsigned long setupExitCode = 0;
    std::vector<std::size_t> bufferSizes;
    ProgramStart lastStart;

    // Jobs as Windows has them: before Windows 8 (`nestedJobs` false) a process in a job
    // cannot be put in a second one, and a program may break away from its job only where
    // that job allows it.
    bool inOuterJob = false;
    bool nestedJobs = true;
    bool outerJobAllowsBreakaway = false;

    // The setup's run on the clock, in milliseconds after its start.
    std::uint32_t now = 5000;
    std::uint32_t setupRunsMs = 0;
    std::optional<std::uint32_t> storeCopyAtMs = 0; // nothing: never
    std::uint32_t startedProgramsRunMs = 0;         // what it started ends then (at the earliest with it)
    std::optional<std::uint32_t> startedAt;         // when the setup was resumed
    bool setupEnded = false;

    // The four package files in `directory`, the INF with bytes of its own, and the program.
    void AddPackage(const std::string& directory)
    {
        for (const char* name : {"TOVRA.EXB", "TOVRA.INF", "TOVRAWDM.SYS", "TOVRA.DLL"})
            files.insert(directory + name);
        bytes[directory + "TOVRA.INF"] = "[Version] our package";
        bytes[directory + "preinstall.exe"] = "MZ the program";
    }
    // Moves the clock on by `milliseconds`, or to the setup's next event if that is sooner.
    void Advance(std::uint32_t milliseconds)
    {
        std::uint32_t step = milliseconds;
        if (startedAt)
            for (const std::optional<std::uint32_t> event : {std::optional(setupRunsMs), storeCopyAtMs})
                if (event && *event > Elapsed())
                    step = std::min(step, *event - Elapsed());
        now += step;
        Update();
    }
    std::string Staging() const { return EnsureTrailingBackslash(windowsDirectory) + "tovra_driver\\"; }
    std::string StagedInf() const { return Staging() + "TOVRA.INF"; }
    std::string StoreCopy() const { return EnsureTrailingBackslash(windowsDirectory) + "inf\\oem1.inf"; }
    std::uint32_t Elapsed() const { return startedAt ? now - *startedAt : 0; }

    // ---- files: a disk of paths, with links, names Windows still holds, running images
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

    // Windows restarts: what was scheduled goes, by name, in order; a folder only if empty.
    void Restart()
    {
        runningImages.clear();
        heldOpen.clear();
        for (const std::string& path : removedAtRestart)
            if (disk.count(path) != 0 && RemoveEmptyFolder(path) != 0 && disk[path] == PathKind::File)
                Remove("restart removes " + path, path);
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
    Result<std::size_t> WindowsDirectorySize() override
    {
        if (firstQueryFails)
            return Failed{queryError};
        return windowsDirectory.size() + 1;
    }
    Result<std::string> ReadWindowsDirectory(std::size_t bufferSize) override
    {
        bufferSizes.push_back(bufferSize);
        if (secondQueryFails)
            return Failed{queryError};
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
        Update();
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

    // ---- the driver store
    std::map<std::string, unsigned long> uninstallErrors; // by INF name
    std::map<std::string, DeviceUse> devices;             // by INF name
    unsigned long devicesError = 0;
    std::set<std::string> uninstallLeaves; // INF names whose removal says done but leaves them
    std::optional<PackageInf> packageInf = PackageInf{{ManufacturerModels{"Models", {}, 2}}, "12/08/2026", "1.0.0.0",
        "Example Vendor", "{50dd5230-ba8a-11d1-bf5d-0000f805f530}"};
    std::map<std::string, std::optional<PackageInf>> infsAt; // INFs other than the package's, by path
    unsigned long infError = 0;
    RunningWindows windows{"x86", 6, 1, 7601, 1, 0x100}; // Windows 7, a workstation
    bool wow64 = false;                                  // this process is 32-bit on 64-bit Windows
    std::string helperPath;                              // the program that runs as our 64-bit helper
    std::string lastInfRead;

    Result<PackageInf> ReadPackageInf(const std::string& infPath) override
    {
        lastInfRead = infPath; // changes nothing: not journalled
        const auto other = infsAt.find(infPath);
        const std::optional<PackageInf>& inf = other != infsAt.end() ? other->second : packageInf;
        if (!inf)
            return Failed{infError};
        return *inf;
    }
    unsigned long UninstallDriverPackage(const std::string& infName, bool force) override
    {
        if (wow64)
            return kErrorInWow64; // as Windows may answer a 32-bit caller
        return RemoveFromStore(EnsureTrailingBackslash(windowsDirectory) + "inf\\", infName, force, "");
    }
    Result<DeviceUse> DevicesUsing(const std::string& infName) override
    {
        journal_.push_back("devices " + infName);
        if (devicesError != 0)
            return Failed{devicesError};
        const auto found = devices.find(infName);
        return found == devices.end() ? DeviceUse{} : found->second;
    }
    RunningWindows ThisWindows() override { return windows; }

    // Our 64-bit helper: removes as Windows' own side would.
    unsigned long RunHelper(const std::string& infFolder, const std::string& parameters)
    {
        const bool force = parameters.size() > 7 && parameters.substr(parameters.size() - 7) == " /FORCE";
        const std::size_t nameStart = parameters.find('"') + 1;
        const std::string name = parameters.substr(nameStart, parameters.find('"', nameStart) - nameStart);
        return RemoveFromStore(infFolder, name, force, "helper ");
    }

    // ---- programs
    Result<std::unique_ptr<StartedProgram>> StartSuspended(const ProgramStart& start, bool breakawayFromJob) override
    {
        journal_.push_back("start " + start.program + " " + start.parameters + " in " + start.workingDirectory +
            (breakawayFromJob ? " breaking away" : ""));
        heldAtStart = fileHeld;
        if (startError != 0)
            return Failed{startError};
        if (breakawayFromJob && inOuterJob && !outerJobAllowsBreakaway)
            return Failed{kErrorAccessDenied};
        lastStart = start;
        brokeAway_ = breakawayFromJob;
        const FakeStartedProgram::Kind kind = start.program == helperPath ? FakeStartedProgram::Kind::Helper
            : start.program.find(kContinuationFolderPrefix) != std::string::npos
            ? FakeStartedProgram::Kind::Continuation
            : FakeStartedProgram::Kind::Setup;
        return std::unique_ptr<StartedProgram>(std::make_unique<FakeStartedProgram>(*this, start, kind));
    }
    // What the uninstall's continuation, started from a temporary copy, ends in; meanwhile
    // the kept copy it started from is mapped as a running image.
    unsigned long continuationExitCode = 0;
    bool MayPutInNewJob() const { return !inOuterJob || nestedJobs || brokeAway_; }

    // ---- the clock and error texts
    std::uint32_t MillisecondsNow() override { return now; }
    std::string LocalTime() override { return "2026-12-09 13:00:00"; }
    std::string DescribeError(unsigned long error) override { return "error " + std::to_string(error); }

    void Journalize(const std::string& entry) { journal_.push_back(entry); }
    // The setup's work so far: its copy of the staged INF in the driver store.
    void Update()
    {
        if (startedAt && storeCopyAtMs && Elapsed() >= *storeCopyAtMs && disk.count(StoreCopy()) == 0 &&
            bytes.count(StagedInf()) != 0) {
            disk[StoreCopy()] = PathKind::File;
            bytes[StoreCopy()] = bytes[StagedInf()];
        }
    }

private:
    class Held final : public HeldFile {
    public:
        Held(FakeSystem& system, std::string bytes)
            : system_(system)
            , bytes_(std::move(bytes))
        {
        }
        ~Held() override
        {
            system_.fileHeld = false;
            system_.Journalize("release held file");
        }
        Result<std::string> Sha256() override { return FakeSha256(bytes_); }

    private:
        FakeSystem& system_;
        std::string bytes_;
    };

    unsigned long RemoveFromStore(
        const std::string& infFolder, const std::string& infName, bool force, const std::string& by)
    {
        journal_.push_back(by + (force ? "force uninstall " : "uninstall ") + infName);
        const auto error = uninstallErrors.find(infName);
        if (error != uninstallErrors.end() && !(force && error->second == kErrorInfInUseByDevices))
            return error->second;
        if (uninstallLeaves.count(infName) == 0)
            disk.erase(infFolder + infName);
        return 0;
    }

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

    bool brokeAway_ = false;
    Journal& journal_;
};

inline unsigned long FakeStartedProgram::PutInNewJob()
{
    if (!system_.MayPutInNewJob())
        return kErrorAccessDenied; // as AssignProcessToJobObject answers before Windows 8
    inJob_ = true;
    return 0;
}

inline void FakeStartedProgram::Resume()
{
    resumed_ = true;
    switch (kind_) {
    case Kind::Helper:
        exitCode_ = system_.RunHelper(start_.workingDirectory, start_.parameters);
        return;
    case Kind::Continuation:
        system_.Journalize("continue in " + start_.workingDirectory + " with " + start_.parameters);
        exitCode_ = system_.continuationExitCode;
        return;
    case Kind::Setup:
        system_.startedAt = system_.now;
        system_.Update();
        return;
    }
}

inline Result<unsigned long> FakeStartedProgram::WaitForExit(unsigned long milliseconds)
{
    if (system_.waitError != 0)
        return Failed{system_.waitError};
    if (exitCode_)
        return *exitCode_;
    if (milliseconds != 0)
        throw std::logic_error("a run waits for its setup in the SetupWaiting, never here");
    system_.Update();
    if (system_.Elapsed() < system_.setupRunsMs)
        return Failed{kErrorTimeout};
    if (!system_.setupEnded) {
        system_.Journalize("setup ended " + std::to_string(system_.setupExitCode));
        system_.setupEnded = true;
    }
    return system_.setupExitCode;
}

inline void FakeStartedProgram::End()
{
    if (!resumed_) {
        system_.Journalize("end suspended " + start_.program);
        return;
    }
    system_.Journalize(kind_ == Kind::Setup ? "end setup" : "end helper");
    if (kind_ == Kind::Setup)
        system_.startedProgramsRunMs = system_.setupRunsMs = system_.Elapsed();
}

inline std::optional<bool> FakeStartedProgram::JobStillRuns()
{
    if (!inJob_)
        return std::nullopt;
    return system_.Elapsed() < std::max(system_.setupRunsMs, system_.startedProgramsRunMs);
}

// Waits on the fake clock; the window closes after `closeAfterWaits` waits, when set.
class FakeWaiting : public SetupWaiting {
public:
    explicit FakeWaiting(FakeSystem& system)
        : system_(system)
    {
    }
    std::vector<std::string> watched;
    std::optional<int> closeAfterWaits;
    int waits = 0;

    void WatchFolder(const std::string& folder) override { watched.push_back(folder); }
    bool Wait(const StartedProgram&, unsigned long milliseconds) override
    {
        if (++waits > 100000)
            throw std::logic_error("the run waits for ever");
        if (closeAfterWaits && waits > *closeAfterWaits)
            return false;
        system_.Advance(static_cast<std::uint32_t>(milliseconds));
        return true;
    }

private:
    FakeSystem& system_;
};

// Another run's system, with the package beside C:\Package\preinstall.exe, and its waits.
struct FreshSystem {
    explicit FreshSystem(Journal& journal)
        : system(journal)
    {
        system.AddPackage("C:\\Package\\");
    }
    FakeSystem system;
    FakeWaiting waiting{system};
};

class RecordingLog : public StepLog {
public:
    std::vector<std::string> lines;
    void Record(const std::string& line) override { lines.push_back(line); }
    bool Has(const std::string& text) const
    {
        return std::any_of(
            lines.begin(), lines.end(), [&](const std::string& line) { return line.find(text) != std::string::npos; });
    }
};

class FakeLock : public RunLock {
public:
    explicit FakeLock(Journal& journal)
        : journal_(journal)
    {
    }
    unsigned long error = 0; // kErrorSharingViolation: another run holds it

    unsigned long Take(const std::string& path) override
    {
        journal_.push_back("lock " + path);
        return error;
    }

private:
    Journal& journal_;
};

class FakeRunningSetup : public RunningSetupCheck {
public:
    bool running = false;
    std::string askedFor;
    std::optional<RunningProcess> StagedSetupRunning(const std::string& stagedSetup) override
    {
        askedFor = stagedSetup;
        return running ? std::optional<RunningProcess>(RunningProcess{77, stagedSetup}) : std::nullopt;
    }
};

// A registry key's values as text, each write journalled under the key's `name` ("marker
// set Installed=1"); a value can be made to fail.
class FakeRegistryKey : public RegistryKey {
public:
    FakeRegistryKey(Journal& journal, std::string name)
        : journal_(journal)
        , name_(std::move(name))
    {
    }
    std::map<std::string, std::string> values;
    std::map<std::string, unsigned long> failures; // by value name; "*" for removing the key
    bool exists = false;

    unsigned long SetNumber(const std::string& name, unsigned long value) override
    {
        return Write(name, std::to_string(value));
    }
    unsigned long SetText(const std::string& name, const std::string& value) override { return Write(name, value); }
    unsigned long SetExpandableText(const std::string& name, const std::string& value) override
    {
        return Write(name, value);
    }
    unsigned long RemoveValue(const std::string& name) override
    {
        journal_.push_back(name_ + " remove " + name);
        if (const unsigned long error = FailureOf(name))
            return error;
        values.erase(name);
        return 0;
    }
    std::optional<std::string> ReadText(const std::string& name) override
    {
        const auto value = values.find(name);
        return value == values.end() ? std::nullopt : std::optional<std::string>(value->second);
    }
    Result<bool> RemoveAll() override
    {
        journal_.push_back(name_ + " remove all");
        if (const unsigned long error = FailureOf("*"))
            return Failed{error};
        const bool removed = exists;
        exists = false;
        values.clear();
        return removed;
    }

private:
    unsigned long FailureOf(const std::string& name) const
    {
        const auto failure = failures.find(name);
        return failure == failures.end() ? 0 : failure->second;
    }
    unsigned long Write(const std::string& name, const std::string& value)
    {
        journal_.push_back(name_ + " set " + name + "=" + value);
        if (const unsigned long error = FailureOf(name))
            return error;
        values[name] = value;
        exists = true;
        return 0;
    }

    Journal& journal_;
    std::string name_;
};

// The Application log: each event journalled ("event 1000") and kept; reporting can fail.
class FakeEventLog : public EventLog {
public:
    explicit FakeEventLog(Journal& journal)
        : journal_(journal)
    {
    }
    struct Event {
        EventType type;
        unsigned long id;
        std::vector<std::string> strings;
    };
    std::vector<Event> events;
    unsigned long error = 0;

    unsigned long Report(EventType type, unsigned long id, const std::vector<std::string>& strings) override
    {
        journal_.push_back("event " + std::to_string(id));
        if (error == 0)
            events.push_back({type, id, strings});
        return error;
    }

private:
    Journal& journal_;
};

// What a deployment leaves for the administrators' tools, faked.
struct FakeRecords {
    explicit FakeRecords(Journal& journal)
        : marker(journal, "marker")
        , programsEntry(journal, "entry")
        , eventSource(journal, "source")
        , events(journal)
    {
    }
    FakeRegistryKey marker;
    FakeRegistryKey programsEntry;
    FakeRegistryKey eventSource;
    FakeEventLog events;
    operator DeploymentRecords() { return {marker, programsEntry, eventSource, events}; }
};

// What each test of a run starts from: the journal, the window, the system with the
// package beside C:\Package\preinstall.exe, its waits and a log.
class FakeRunTest : public ::testing::Test {
protected:
    Journal journal;
    FakeWindow window{journal};
    FakeSystem system{journal};
    FakeWaiting waiting{system};
    RecordingLog log;

    void SetUp() override { system.AddPackage("C:\\Package\\"); }
};
