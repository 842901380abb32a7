// Fake window, system, log and deployment operations for the portable procedures and
// rules. They write to one journal, so the order of what happens can be checked.
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

// The system: a disk of paths (with links), and a setup that runs on a fake clock. By
// default the setup adds the staged INF to the driver store (as oem1.inf) at once and ends
// with 0 when it has run `setupRunsMs`.
class FakeSystem : public SystemOps {
public:
    explicit FakeSystem(Journal& journal)
        : journal_(journal)
    {
        disk["C:\\WINDOWS\\inf"] = PathKind::Folder;
    }
    std::set<std::string> files;
    std::string windowsDirectory = "C:\\WINDOWS";
    bool firstQueryFails = false;
    bool secondQueryFails = false;
    unsigned long queryError = 0;
    unsigned long mkdirError = 0;
    bool directoryExisted = false;
    std::map<std::string, unsigned long> copyErrors; // by destination
    unsigned long protectError = 0;
    unsigned long hashError = 0;
    bool fileHeld = false;    // by HoldAndHashFile, until ReleaseHeldFile
    bool heldAtStart = false; // whether it was when the setup started
    unsigned long startError = 0;
    unsigned long jobError = 0;
    unsigned long waitError = 0;
    unsigned long setupExitCode = 0;
    bool endsWithItsProcesses = true;
    std::vector<std::size_t> bufferSizes;

    // The setup's run on the clock, in milliseconds after its start.
    std::uint32_t now = 5000;
    std::uint32_t setupRunsMs = 0;
    std::optional<std::uint32_t> storeCopyAtMs = 0; // nothing: never
    std::optional<std::uint32_t> startedProgramsRunMs =
        0; // what it started ends then (at the earliest with it); nothing: no job
    std::optional<std::uint32_t> startedAt;

    // The four package files in `directory`, the INF with bytes of its own.
    void AddPackage(const std::string& directory)
    {
        for (const char* name : {"TOVRA.EXB", "TOVRA.INF", "TOVRAWDM.SYS", "TOVRA.DLL"})
            files.insert(directory + name);
        bytes[directory + "TOVRA.INF"] = "[Version] our package";
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
    std::string StagedInf() const { return EnsureTrailingBackslash(windowsDirectory) + "tovra_driver\\TOVRA.INF"; }
    std::string StoreCopy() const { return EnsureTrailingBackslash(windowsDirectory) + "inf\\oem1.inf"; }

    bool FileExists(const std::string& path) override
    {
        journal_.push_back("exists " + path);
        return files.count(path) != 0;
    }
    std::optional<std::uint64_t> FileSize(const std::string& path) override
    {
        const auto found = bytes.find(path);
        return found != bytes.end() ? found->second.size() : path.size(); // else any size that differs by file
    }
    std::size_t WindowsDirectorySize(unsigned long& error) override
    {
        error = firstQueryFails ? queryError : 0;
        return firstQueryFails ? 0 : windowsDirectory.size() + 1;
    }
    std::optional<std::string> ReadWindowsDirectory(std::size_t bufferSize, unsigned long& error) override
    {
        bufferSizes.push_back(bufferSize);
        error = secondQueryFails ? queryError : 0;
        if (secondQueryFails)
            return std::nullopt;
        return windowsDirectory;
    }
    unsigned long MakeDirectory(const std::string& path, bool& created) override
    {
        journal_.push_back("mkdir " + path);
        created = mkdirError == 0 && !directoryExisted;
        return mkdirError;
    }
    unsigned long ProtectFolder(const std::string& path) override
    {
        journal_.push_back("protect " + path);
        return protectError;
    }
    unsigned long ReplaceWithCopy(const std::string& from, const std::string& to) override
    {
        journal_.push_back("copy " + from + " -> " + to);
        const auto error = copyErrors.find(to);
        if (error != copyErrors.end())
            return error->second;
        if (bytes.count(from) != 0) {
            bytes[to] = bytes[from];
            disk[to] = PathKind::File;
        }
        return 0;
    }
    unsigned long HoldAndHashFile(const std::string& path, std::string& sha256) override
    {
        journal_.push_back("hold and hash " + path);
        if (hashError != 0)
            return hashError;
        fileHeld = true;
        sha256 = FakeSha256(bytes[path]);
        return 0;
    }
    void ReleaseHeldFile() override
    {
        if (fileHeld)
            journal_.push_back("release held file");
        fileHeld = false;
    }
    unsigned long StartProgram(const std::string& program, const std::string& parameters,
        const std::string& workingDirectory, StartedProgram& started) override
    {
        journal_.push_back("start " + program + " " + parameters + " in " + workingDirectory);
        heldAtStart = fileHeld;
        if (program == helperPath && startError == 0) {
            RunHelper(workingDirectory, parameters);
            return 0;
        }
        started = {4242, jobError};
        if (startError == 0) {
            startedAt = now;
            Update();
        }
        return startError;
    }
    unsigned long WaitForStartedProgram(unsigned long timeoutSeconds, unsigned long& exitCode) override
    {
        if (helperExitCode) {
            exitCode = *helperExitCode;
            helperExitCode.reset();
            return waitError;
        }
        if (timeoutSeconds != 0)
            throw std::logic_error("a run blocks in the SetupWaiting, never here");
        if (waitError != 0 || !startedAt)
            return startedAt ? waitError : 6; // ERROR_INVALID_HANDLE
        Update();
        if (Elapsed() < setupRunsMs)
            return kErrorTimeout;
        if (!ended_) {
            journal_.push_back("setup ended " + std::to_string(setupExitCode));
            ended_ = true;
        }
        exitCode = setupExitCode;
        return 0;
    }
    bool EndStartedProgram() override
    {
        journal_.push_back("end setup");
        startedProgramsRunMs = setupRunsMs = Elapsed();
        return endsWithItsProcesses;
    }
    std::optional<bool> StartedProgramsStillRun() override
    {
        if (!startedProgramsRunMs)
            return std::nullopt;
        return Elapsed() < std::max(setupRunsMs, *startedProgramsRunMs);
    }
    std::uint32_t MillisecondsNow() override { return now; }
    std::string DescribeError(unsigned long error) override { return "error " + std::to_string(error); }

    // A disk for the uninstall: what is at each path, a file's bytes, where each link points.
    std::map<std::string, PathKind> disk;
    std::map<std::string, std::string> bytes;
    std::map<std::string, std::string> linkTargets;
    std::map<std::string, unsigned long> removeErrors;    // by path
    std::map<std::string, unsigned long> uninstallErrors; // by INF name
    std::map<std::string, DeviceUse> devices;             // by INF name
    unsigned long devicesError = 0;
    std::set<std::string> uninstallLeaves; // INF names whose removal says done but leaves them
    std::optional<PackageInf> packageInf =
        PackageInf{{{}}, "12/08/2026", "1.0.0.0", "Example Vendor", "{50dd5230-ba8a-11d1-bf5d-0000f805f530}"};
    std::map<std::string, std::optional<PackageInf>> infsAt; // INFs other than the package's, by path
    unsigned long infError = 0;
    std::string nativeArchitecture = "x86";
    bool wow64 = false;                          // this process is 32-bit on 64-bit Windows
    std::set<std::string> in32BitStoreOnly;      // INF names a 32-bit setup added under Wine
    std::string helperPath;                      // the program that StartProgram runs as our 64-bit helper
    std::optional<unsigned long> helperExitCode; // of the helper started last, until waited for
    std::string lastInfRead;

    PathKind KindOfPath(const std::string& path) override
    {
        const auto found = disk.find(ThroughLinks(path));
        return found == disk.end() ? PathKind::Missing : found->second;
    }
    std::optional<std::vector<std::string>> ListFolder(const std::string& folder, unsigned long& error) override
    {
        Update();
        const std::string bare = folder.back() == '\\' ? folder.substr(0, folder.size() - 1) : folder;
        journal_.push_back("list " + bare);
        const std::string prefix = ThroughLinks(bare, true) + "\\";
        std::vector<std::string> names;
        for (const auto& [path, kind] : disk)
            if (path.rfind(prefix, 0) == 0 && path.find('\\', prefix.size()) == std::string::npos)
                names.push_back(path.substr(prefix.size()));
        error = names.empty() && disk.count(ThroughLinks(bare, true)) == 0 ? 3 : 0;
        return error == 0 ? std::optional(names) : std::nullopt;
    }
    std::optional<std::string> ReadFileBytes(const std::string& path) override
    {
        const auto found = bytes.find(ThroughLinks(path, true));
        return found == bytes.end() ? std::nullopt : std::optional(found->second);
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
    unsigned long UninstallDriverPackage(const std::string& infFolder, const std::string& infName, bool force) override
    {
        if (wow64)
            return kErrorInWow64; // as Windows may answer a 32-bit caller
        return RemoveFromStore(infFolder, infName, force, "");
    }
    // Wine's store of the other architecture, where the helper does not find the package.
    unsigned long RemoveInHelper(const std::string& infFolder, const std::string& infName, bool force)
    {
        if (in32BitStoreOnly.count(infName) != 0)
            return kErrorFileNotFound;
        return RemoveFromStore(infFolder, infName, force, "helper ");
    }
    // Our 64-bit helper, when `program` is it: removes as Windows' own side would.
    void RunHelper(const std::string& infFolder, const std::string& parameters)
    {
        const bool force = parameters.size() > 7 && parameters.substr(parameters.size() - 7) == " /FORCE";
        const std::size_t nameStart = parameters.find('"') + 1;
        const std::string name = parameters.substr(nameStart, parameters.find('"', nameStart) - nameStart);
        helperExitCode = RemoveInHelper(infFolder, name, force);
    }
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
    std::optional<DeviceUse> DevicesUsing(const std::string& infName, unsigned long& error) override
    {
        journal_.push_back("devices " + infName);
        error = devicesError;
        if (devicesError != 0)
            return std::nullopt;
        const auto found = devices.find(infName);
        return found == devices.end() ? DeviceUse{} : found->second;
    }
    std::optional<PackageInf> ReadPackageInf(const std::string& infPath, unsigned long& error) override
    {
        lastInfRead = infPath; // changes nothing: not journalled
        error = infError;
        const auto other = infsAt.find(infPath);
        return other != infsAt.end() ? other->second : packageInf;
    }
    std::string NativeArchitecture() override { return nativeArchitecture; }

private:
    std::uint32_t Elapsed() const { return startedAt ? now - *startedAt : 0; }
    // The setup's work so far: its copy of the staged INF in the driver store.
    void Update()
    {
        if (startedAt && storeCopyAtMs && Elapsed() >= *storeCopyAtMs && disk.count(StoreCopy()) == 0 &&
            bytes.count(StagedInf()) != 0) {
            disk[StoreCopy()] = PathKind::File;
            bytes[StoreCopy()] = bytes[StagedInf()];
        }
    }
    bool ended_ = false;

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
    bool Wait(unsigned long milliseconds) override
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

// The marker's values as text, each write journalled; a value can be made to fail.
class FakeMarker : public DetectionMarker {
public:
    explicit FakeMarker(Journal& journal)
        : journal_(journal)
    {
    }
    std::map<std::string, std::string> values;
    std::map<std::string, unsigned long> failures; // by value name; "*" for removing the marker
    bool exists = false;

    unsigned long SetNumber(const std::string& name, unsigned long value) override
    {
        return Write(name, std::to_string(value));
    }
    unsigned long SetText(const std::string& name, const std::string& value) override { return Write(name, value); }
    unsigned long RemoveValue(const std::string& name) override
    {
        journal_.push_back("marker remove " + name);
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
    unsigned long RemoveAll(bool& removed) override
    {
        journal_.push_back("marker remove all");
        removed = false;
        if (const unsigned long error = FailureOf("*"))
            return error;
        removed = exists;
        exists = false;
        values.clear();
        return 0;
    }

private:
    unsigned long FailureOf(const std::string& name) const
    {
        const auto failure = failures.find(name);
        return failure == failures.end() ? 0 : failure->second;
    }
    unsigned long Write(const std::string& name, const std::string& value)
    {
        journal_.push_back("marker set " + name + "=" + value);
        if (const unsigned long error = FailureOf(name))
            return error;
        values[name] = value;
        exists = true;
        return 0;
    }

    Journal& journal_;
};

class FakeClock : public Clock {
public:
    std::string LocalTime() override { return "2026-12-09 13:00:00"; }
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
