// The interfaces the portable procedures see the world through: the window they run in,
// the operating system (one small interface per job: files, the running Windows, the driver
// store, programs, the clock, error texts) and the administrator's log. The Windows
// implementations live in win32/, the fakes in the unit tests. All strings are UTF-8.
// Every operation that can fail tells it one way: the system's error code, never 0 for a
// failure, which the caller may not drop; an operation that also gives a value returns a
// Result.
#pragma once

#include "staging/DriverPackage.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

// The system's error code of an operation that failed.
struct Failed {
    unsigned long error;
};

// What an operation gives: its value, or the system's error code (never 0: a failure
// without a code of its own is an installation failure).
template <class T> class [[nodiscard]] Result {
public:
    Result(T value)
        : value_(std::move(value))
    {
    }
    Result(Failed failed)
        : error_(FailureCode(failed.error))
    {
    }
    explicit operator bool() const { return value_.has_value(); }
    unsigned long Error() const { return error_; }
    T& operator*() { return *value_; }
    const T& operator*() const { return *value_; }
    T* operator->() { return &*value_; }
    const T* operator->() const { return &*value_; }

private:
    std::optional<T> value_;
    unsigned long error_ = 0;
};

// What is at a path, seen without following a link.
enum class PathKind {
    Missing,
    File,
    Folder,
    Link, // a symbolic link or junction, to a file or a folder
};

// What the procedure does to the window it runs in.
class WindowOps {
public:
    virtual ~WindowOps() = default;
    // A modal message box with an OK button; `iconFlags` is one of the kIcon flags.
    virtual void ShowMessage(const std::string& text, const std::string& caption, unsigned iconFlags) = 0;
    virtual void SetPreInstallButtonEnabled(bool enabled) = 0;
    virtual void ShowSuccessLabel() = 0;
};

// The window operations when there is no window: what the procedure tells the user is
// already in the log, and there is nothing to enable or show.
class NoWindowOps : public WindowOps {
public:
    void ShowMessage(const std::string&, const std::string&, unsigned) override { }
    void SetPreInstallButtonEnabled(bool) override { }
    void ShowSuccessLabel() override { }
};

// A file held open so that nobody can write, rename or delete it (others may read it),
// until the object goes.
class HeldFile {
public:
    virtual ~HeldFile() = default;
    // Its SHA-256 in lower-case hexadecimal, read through the held handle.
    virtual Result<std::string> Sha256() = 0;
};

// Files and folders, by full path. None of these follows a link it is asked to move or
// remove: the link itself goes.
class Files {
public:
    virtual ~Files() = default;
    // True for an existing file; false for a folder or nothing.
    virtual bool FileExists(const std::string& path) = 0;
    // What is at `path`; a link is reported as a link, never as what it points to.
    virtual PathKind KindOfPath(const std::string& path) = 0;
    virtual Result<std::uint64_t> FileSize(const std::string& path) = 0;
    // The Windows directory, as Windows gives it ("C:\WINDOWS").
    virtual Result<std::string> WindowsDirectory() = 0;
    // Creates one folder level (not its parents); an existing folder is no failure. True
    // when it was created.
    virtual Result<bool> MakeDirectory(const std::string& path) = 0;
    // Gives an existing folder the Administrators group as owner and a protected DACL
    // (SYSTEM and Administrators full control, Users read and execute, inherited by what is
    // created in it); kErrorReparsePointEncountered when a link is at `path`.
    [[nodiscard]] virtual unsigned long ProtectFolder(const std::string& path) = 0;
    // Copies a file to a new file at `to`; fails when anything has that name, so the copy
    // never writes into another file through a link.
    [[nodiscard]] virtual unsigned long CopyToNewFile(const std::string& from, const std::string& to) = 0;
    // Gives an entry (a file, folder or link) a new name in the same folder; fails when the
    // new name is taken. Windows renames a file that others hold open for reading.
    [[nodiscard]] virtual unsigned long Rename(const std::string& from, const std::string& to) = 0;
    // Removes a file, even a read-only one, or a link of either kind. Windows keeps the
    // name of a deleted file taken until the last handle to it closes.
    [[nodiscard]] virtual unsigned long RemoveFile(const std::string& path) = 0;
    [[nodiscard]] virtual unsigned long RemoveEmptyFolder(const std::string& folder) = 0;
    // Asks Windows to remove a file or an empty folder when it next starts.
    [[nodiscard]] virtual unsigned long RemoveAtRestart(const std::string& path) = 0;
    // The names in a folder (not "." or "..").
    virtual Result<std::vector<std::string>> ListFolder(const std::string& folder) = 0;
    virtual Result<std::string> ReadFileBytes(const std::string& path) = 0;
    virtual Result<std::unique_ptr<HeldFile>> HoldFile(const std::string& path) = 0;
};

// The devices installed with a driver package.
struct DeviceUse {
    unsigned installed = 0; // present or not
    unsigned present = 0;
};

// A models section that a [Manufacturer] line names, and how many models (lines) it has: 0
// for an empty or missing one.
struct ModelsSection {
    std::string decoration; // its TargetOSVersion as written ("NTamd64.10.0...17763")
    unsigned long models = 0;
};

// One line of an INF's [Manufacturer] section.
struct ManufacturerModels {
    std::string section; // the models section's name as written
    std::vector<ModelsSection> decorated;
    // The models of the undecorated section (the one Windows takes when no decoration fits).
    unsigned long undecoratedModels = 0;
};

// What a driver package's INF says, as Windows' INF parser reads it.
struct PackageInf {
    std::vector<ManufacturerModels> manufacturers;
    // [Version] DriverVer: its date as the INF writes it, and its version; empty when absent.
    std::string driverDate;
    std::string driverVersion;
    // [Version] Provider (its string substituted) and ClassGuid; empty when absent.
    std::string provider;
    std::string classGuid;
};

// The running Windows, as INF decorations name it.
struct RunningWindows {
    std::string architecture; // the machine's own: "x86", "amd64", "arm64" or "ia64"
    unsigned long major = 0;
    unsigned long minor = 0;
    unsigned long build = 0;
    unsigned long productType = 0; // 1 workstation, 2 domain controller, 3 server
    unsigned long suiteMask = 0;
};

// Windows' INF parser and driver store.
class DriverStore {
public:
    virtual ~DriverStore() = default;
    virtual Result<PackageInf> ReadPackageInf(const std::string& infPath) = 0;
    // Removes a driver package from the driver store by its INF `infName` (oemN.inf in the
    // Windows directory's inf folder), with its .pnf. Unforced, Windows refuses
    // (kErrorInfInUseByDevices) while any device was installed with it, present or not;
    // `force` removes it all the same.
    [[nodiscard]] virtual unsigned long UninstallDriverPackage(const std::string& infName, bool force) = 0;
    // The devices Windows installed with the driver package `infName` (oemN.inf): how many
    // it knows of, and how many of them are present now.
    virtual Result<DeviceUse> DevicesUsing(const std::string& infName) = 0;
};

// The Windows this runs on.
class Platform {
public:
    virtual ~Platform() = default;
    // The machine's architecture, also for a 32-bit or emulated program, and the version
    // that compatibility settings do not change.
    virtual RunningWindows ThisWindows() = 0;
};

// What a program is started with.
struct ProgramStart {
    std::string program; // its full path
    std::string parameters;
    std::string workingDirectory;
    // Variables set for it alone, over this program's environment.
    std::vector<std::pair<std::string, std::string>> environment = {};
};

// A wait without a time limit.
inline constexpr unsigned long kWaitForever = 0xFFFFFFFF;

// A program that was started, suspended until Resume.
class StartedProgram {
public:
    virtual ~StartedProgram() = default;
    virtual unsigned long ProcessId() const = 0;
    // Puts it in a new job that holds what it starts (a process that asks to break away is
    // let go); 0 or the error. Before Windows 8 a process is in one job at most.
    [[nodiscard]] virtual unsigned long PutInNewJob() = 0;
    virtual void Resume() = 0;
    // Waits at most `milliseconds` for it to end: its exit code; kErrorTimeout while it runs.
    virtual Result<unsigned long> WaitForExit(unsigned long milliseconds) = 0;
    // Ends it and the processes it started: those in its job, or without a job those whose
    // parent it is (by process id and creation time).
    virtual void End() = 0;
    // Whether any process in its job still runs (it, or what it started); nothing when it
    // is in no job.
    virtual std::optional<bool> JobStillRuns() = 0;
};

class Programs {
public:
    virtual ~Programs() = default;
    // Starts a program by its full path, hidden and suspended: nothing of it runs before
    // Resume. With `breakawayFromJob`, outside the job this program runs in (Windows
    // allows that only where that job does).
    virtual Result<std::unique_ptr<StartedProgram>> StartSuspended(
        const ProgramStart& start, bool breakawayFromJob) = 0;
};

class Clock {
public:
    virtual ~Clock() = default;
    // Milliseconds from some fixed moment, wrapping around: for waiting.
    virtual std::uint32_t MillisecondsNow() = 0;
    // The local time as yyyy-mm-dd hh:mm:ss.
    virtual std::string LocalTime() = 0;
};

class ErrorTexts {
public:
    virtual ~ErrorTexts() = default;
    // The code and the system's one-line description of it.
    virtual std::string DescribeError(unsigned long error) = 0;
};

// The operating system, as the procedures see it.
struct OperatingSystem {
    Files& files;
    Platform& platform;
    DriverStore& driverStore;
    Programs& programs;
    Clock& clock;
    ErrorTexts& errors;
};

// How a run waits while the setup works: blocked (unattended), or with its window
// answering (the window's message loop waits).
class SetupWaiting {
public:
    virtual ~SetupWaiting() = default;
    // From now on a change in `folder` also ends a wait.
    virtual void WatchFolder(const std::string& folder) = 0;
    // Returns when `program` may have ended, the watched folder may have changed or
    // `milliseconds` have passed; false when the run is to stop waiting (its window closed).
    virtual bool Wait(const StartedProgram& program, unsigned long milliseconds) = 0;
};

// Where the procedures record each step for the administrator; it may record nowhere.
class StepLog {
public:
    virtual ~StepLog() = default;
    virtual void Record(const std::string& line) = 0;
    // Whether recorded lines go anywhere: work done only for a line can then be skipped.
    virtual bool RecordsAnywhere() const { return true; }
};

// A log that records nothing: the program without /LOG.
class NoStepLog final : public StepLog {
public:
    void Record(const std::string&) override { }
    bool RecordsAnywhere() const override { return false; }
};
