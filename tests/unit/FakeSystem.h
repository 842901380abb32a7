// The rest of the fake operating system: the running Windows, the driver store over the
// fake disk, and a setup that runs on a fake clock. Before Windows 8 a process is in one
// job at most, as Microsoft documents it.
#pragma once

#include "staging/DriverPackage.h"
#include "staging/Interfaces.h"
#include "staging/Paths.h"
#include "staging/Places.h"
#include "staging/PreInstall.h"
#include "tests/unit/FakeFiles.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <optional>
#include <stdexcept>

class FakePlatform : public Platform {
public:
    RunningWindows windows{"x86", 6, 1, 7601, 1, 0x100}; // Windows 7, a workstation
    RunningWindows ThisWindows() override { return windows; }
};

// The driver store, whose INFs are files of the fake disk's inf folder.
class FakeDriverStore : public DriverStore {
public:
    explicit FakeDriverStore(FakeFiles& disk)
        : disk_(disk)
    {
    }
    std::map<std::string, unsigned long> uninstallErrors; // by INF name
    std::map<std::string, DeviceUse> devices;             // by INF name
    unsigned long devicesError = 0;
    std::set<std::string> uninstallLeaves; // INF names whose removal says done but leaves them
    std::optional<PackageInf> packageInf = PackageInf{{ManufacturerModels{"Models", {}, 2}}, "12/08/2026", "1.0.0.0",
        "Example Vendor", "{50dd5230-ba8a-11d1-bf5d-0000f805f530}"};
    std::map<std::string, std::optional<PackageInf>> infsAt; // INFs other than the package's, by path
    unsigned long infError = 0;
    bool wow64 = false; // this process is 32-bit on 64-bit Windows
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
        return RemoveFromStore(PlacesIn(disk_.windowsDirectory).infFolder, infName, force, "");
    }
    Result<DeviceUse> DevicesUsing(const std::string& infName) override
    {
        disk_.Journalize("devices " + infName);
        if (devicesError != 0)
            return Failed{devicesError};
        const auto found = devices.find(infName);
        return found == devices.end() ? DeviceUse{} : found->second;
    }

protected:
    unsigned long RemoveFromStore(
        const std::string& infFolder, const std::string& infName, bool force, const std::string& by)
    {
        disk_.Journalize(by + (force ? "force uninstall " : "uninstall ") + infName);
        const auto error = uninstallErrors.find(infName);
        if (error != uninstallErrors.end() && !(force && error->second == kErrorInfInUseByDevices))
            return error->second;
        if (uninstallLeaves.count(infName) == 0)
            disk_.disk.erase(infFolder + infName);
        return 0;
    }

private:
    FakeFiles& disk_;
};

class FakeSystem;

// A program the fake system started: the staged setup, which runs on the fake clock from
// its Resume, our 64-bit store helper, which does its work at once, or the uninstall's
// continuation.
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

private:
    FakeSystem& system_;
    ProgramStart start_;
    Kind kind_;
    bool inJob_ = false;
    bool resumed_ = false;
    std::optional<unsigned long> exitCode_; // of a helper or continuation, once resumed
};

// The whole system: the disk, the store, the platform, and a setup that runs on a fake
// clock. By default the setup adds the staged INF to the driver store (as oem1.inf) at once
// and ends with 0 when it has run `setupRunsMs`.
class FakeSystem : public FakeFiles,
                   public FakePlatform,
                   public FakeDriverStore,
                   public Programs,
                   public Clock,
                   public ErrorTexts {
public:
    explicit FakeSystem(Journal& journal)
        : FakeFiles(journal)
        , FakeDriverStore(static_cast<FakeFiles&>(*this))
    {
    }
    operator OperatingSystem() { return {*this, *this, *this, *this, *this, *this}; }

    bool heldAtStart = false; // whether a file was held when a program started
    unsigned long startError = 0;
    unsigned long waitError = 0;
    unsigned long setupExitCode = 0;
    ProgramStart lastStart;
    std::string helperPath; // the program that runs as our 64-bit helper
    // What the uninstall's continuation, started from a temporary copy, ends in.
    unsigned long continuationExitCode = 0;

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

    Places WhereItIs() const { return PlacesIn(windowsDirectory); }
    std::string Staging() const { return WhereItIs().staging; }
    std::string StagedInf() const { return WhereItIs().stagedInf; }
    std::string StoreCopy() const { return WhereItIs().infFolder + "oem1.inf"; }
    std::uint32_t Elapsed() const { return startedAt ? now - *startedAt : 0; }

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

    // Our 64-bit helper: removes as Windows' own side would.
    unsigned long RunHelper(const std::string& infFolder, const std::string& parameters)
    {
        const bool force = parameters.size() > 7 && parameters.substr(parameters.size() - 7) == " /FORCE";
        const std::size_t nameStart = parameters.find('"') + 1;
        const std::string name = parameters.substr(nameStart, parameters.find('"', nameStart) - nameStart);
        return RemoveFromStore(infFolder, name, force, "helper ");
    }

    Result<std::unique_ptr<StartedProgram>> StartSuspended(const ProgramStart& start, bool breakawayFromJob) override
    {
        Journalize("start " + start.program + " " + start.parameters + " in " + start.workingDirectory +
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
    bool MayPutInNewJob() const { return !inOuterJob || nestedJobs || brokeAway_; }

    std::uint32_t MillisecondsNow() override { return now; }
    std::string LocalTime() override { return "2026-12-09 13:00:00"; }
    std::string DescribeError(unsigned long error) override { return "error " + std::to_string(error); }

    // The setup's work so far: its copy of the staged INF in the driver store.
    void Update()
    {
        if (startedAt && storeCopyAtMs && Elapsed() >= *storeCopyAtMs && disk.count(StoreCopy()) == 0 &&
            bytes.count(StagedInf()) != 0) {
            disk[StoreCopy()] = PathKind::File;
            bytes[StoreCopy()] = bytes[StagedInf()];
        }
    }

protected:
    void BeforeListing() override { Update(); }

private:
    bool brokeAway_ = false;
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

// The program beside its package in C:\Package.
inline constexpr const char* kFakeProgramPath = "C:\\Package\\preinstall.exe";

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

// What each test of a run starts from: the journal, the window, the system with the
// package beside C:\Package\preinstall.exe, its waits and a log; a press of the window's
// button runs the window's pre-install.
class FakeRunTest : public ::testing::Test {
protected:
    Journal journal;
    FakeWindow window{journal};
    FakeSystem system{journal};
    FakeWaiting waiting{system};
    RecordingLog log;
    RunReport report{RunKind::Install, log, system, system, nullptr, "9.8.7", ""};
    std::string programPath = kFakeProgramPath;

    void SetUp() override { system.AddPackage("C:\\Package\\"); }

    PreInstallOutcome Press(const std::string& setupSha256 = {})
    {
        return RunWindowPreInstall(window, system, waiting, report, {programPath, setupSha256});
    }
    // A press in another window or on another system.
    PreInstallOutcome Press(WindowOps& in, FakeSystem& on, FakeWaiting& waits, StepLog& into)
    {
        RunReport itsReport(RunKind::Install, into, on, on, nullptr, "9.8.7", "");
        return RunWindowPreInstall(in, on, waits, itsReport, {programPath});
    }
};
