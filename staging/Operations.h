// How the portable procedures see the world: the window they run in, the operating system
// and the administrator's log. The Windows implementations live in win32/, the fakes in
// the unit tests. All strings are UTF-8; error codes are the system's own, 0 for success.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

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
    virtual std::string ExecutablePath() = 0;
    // A modal message box with an OK button; `iconFlags` is one of the kIcon flags.
    virtual void ShowMessage(const std::string& text, const std::string& caption, unsigned iconFlags) = 0;
    virtual void SetPreInstallButtonEnabled(bool enabled) = 0;
    virtual void ShowSuccessLabel() = 0;
};

// The window operations when there is no window: what the procedure tells the user is
// already in the log, and there is nothing to enable or show.
class NoWindowOps : public WindowOps {
public:
    explicit NoWindowOps(std::string executablePath)
        : executablePath_(std::move(executablePath))
    {
    }
    std::string ExecutablePath() override { return executablePath_; }
    void ShowMessage(const std::string&, const std::string&, unsigned) override { }
    void SetPreInstallButtonEnabled(bool) override { }
    void ShowSuccessLabel() override { }

private:
    std::string executablePath_;
};

// A setup program that was started: its process id, and 0 or the system's reason why it
// could not be put in a job (then only the setup itself can be ended at a timeout).
struct StartedProgram {
    unsigned long processId = 0;
    unsigned long jobError = 0;
};

// The devices installed with a driver package.
struct DeviceUse {
    unsigned installed = 0; // present or not
    unsigned present = 0;
};

// What a driver package's INF says, as Windows' INF parser reads it.
struct PackageInf {
    // The TargetOSVersion decorations of each [Manufacturer] line; empty for an undecorated one.
    std::vector<std::vector<std::string>> decorations;
    // [Version] DriverVer: its date as the INF writes it, and its version; empty when absent.
    std::string driverDate;
    std::string driverVersion;
    // [Version] Provider (its string substituted) and ClassGuid; empty when absent.
    std::string provider;
    std::string classGuid;
};

// The operating-system calls of the procedure and the uninstall.
class SystemOps {
public:
    virtual ~SystemOps() = default;
    // True for an existing file; false for a directory or nothing.
    virtual bool FileExists(const std::string& path) = 0;
    // The size of a file in bytes; nothing when it cannot be read.
    virtual std::optional<std::uint64_t> FileSize(const std::string& path) = 0;
    // Characters needed to hold the Windows directory, including the terminator; 0 on
    // failure, with the system's error code in `error`.
    virtual std::size_t WindowsDirectorySize(unsigned long& error) = 0;
    // The Windows directory read into a buffer of `bufferSize` characters; nothing when
    // the query fails or the path does not fit, with the error code in `error`.
    virtual std::optional<std::string> ReadWindowsDirectory(std::size_t bufferSize, unsigned long& error) = 0;
    // Creates one directory level (not its parents). Succeeds also when it already exists
    // as a directory; `created` tells which.
    virtual unsigned long MakeDirectory(const std::string& path, bool& created) = 0;
    // Gives an existing folder the Administrators group as owner and a protected DACL
    // (SYSTEM and Administrators full control, Users read and execute, inherited by what is
    // created in it); kErrorReparsePointEncountered when a link is at `path`.
    virtual unsigned long ProtectFolder(const std::string& path) = 0;
    // Copies a file to a new file at `to`: whatever has that name (a file, even a read-only,
    // hidden or system one, or a link) is removed first, so the copy never writes into
    // another file through a hard or symbolic link.
    virtual unsigned long ReplaceWithCopy(const std::string& from, const std::string& to) = 0;
    // Opens a file for reading and holds it open, so that no one can write or delete it,
    // until ReleaseHeldFile; gives its SHA-256 in lower-case hexadecimal. 0 or the error.
    virtual unsigned long HoldAndHashFile(const std::string& path, std::string& sha256) = 0;
    virtual void ReleaseHeldFile() = 0;
    // Starts a program by its full path, hidden, in a job that will hold what it starts;
    // does not wait for it.
    virtual unsigned long StartProgram(const std::string& program, const std::string& parameters,
        const std::string& workingDirectory, StartedProgram& started) = 0;
    // Waits at most `timeoutSeconds` for the program StartProgram started last to end; its
    // code goes to `exitCode`. kErrorTimeout when it still runs.
    virtual unsigned long WaitForStartedProgram(unsigned long timeoutSeconds, unsigned long& exitCode) = 0;
    // Ends the program StartProgram started last, with every process in its job; false
    // when only the program itself could be ended.
    virtual bool EndStartedProgram() = 0;
    // Whether any process in the job of the program StartProgram started last still runs
    // (the program itself, or what it started); nothing when it is not in a job.
    virtual std::optional<bool> StartedProgramsStillRun() = 0;
    // A clock for waiting: milliseconds from some fixed moment, wrapping around.
    virtual std::uint32_t MillisecondsNow() = 0;
    // The system's one-line description of an error code.
    virtual std::string DescribeError(unsigned long error) = 0;

    // What is at `path`; a link is reported as a link, never as what it points to.
    virtual PathKind KindOfPath(const std::string& path) = 0;
    // The names in a folder (not "." or ".."); nothing on failure, with the error in `error`.
    virtual std::optional<std::vector<std::string>> ListFolder(const std::string& folder, unsigned long& error) = 0;
    // A whole file's bytes; nothing when it cannot be read.
    virtual std::optional<std::string> ReadFileBytes(const std::string& path) = 0;
    // Removes a file, even a read-only one, or a link of either kind (never what it points to).
    virtual unsigned long RemoveFile(const std::string& path) = 0;
    // Removes an empty folder.
    virtual unsigned long RemoveEmptyFolder(const std::string& folder) = 0;
    // Removes a driver package from Windows' driver store by its INF `infName` (oemN.inf)
    // in `infFolder` (the Windows directory's inf folder, ending in "\"), with its .pnf.
    // Unforced, Windows refuses (kErrorInfInUseByDevices) while any device was installed
    // with it, present or not; `force` removes it all the same.
    virtual unsigned long UninstallDriverPackage(
        const std::string& infFolder, const std::string& infName, bool force) = 0;
    // The devices Windows installed with the driver package `infName` (oemN.inf): how many
    // it knows of, and how many of them are present now; nothing when it cannot tell, with
    // the system's error in `error`.
    virtual std::optional<DeviceUse> DevicesUsing(const std::string& infName, unsigned long& error) = 0;
    // The package's INF as Windows' INF parser reads it; nothing when it cannot be read,
    // with the parser's error in `error`.
    virtual std::optional<PackageInf> ReadPackageInf(const std::string& infPath, unsigned long& error) = 0;
    // The running Windows' own processor architecture, as INF decorations name it: "x86",
    // "amd64", "arm64" or "ia64".
    virtual std::string NativeArchitecture() = 0;
};

// Lets go of the file that HoldAndHashFile holds, however the caller's work ends.
class HeldFileRelease {
public:
    explicit HeldFileRelease(SystemOps& system)
        : system_(system)
    {
    }
    ~HeldFileRelease() { system_.ReleaseHeldFile(); }
    HeldFileRelease(const HeldFileRelease&) = delete;
    HeldFileRelease& operator=(const HeldFileRelease&) = delete;

private:
    SystemOps& system_;
};

// The Windows directory, the one way every caller reads it; nothing on failure, with the
// system's error code (never 0) in `error`.
std::optional<std::string> WindowsDirectory(SystemOps& system, unsigned long& error);

// How a run waits while the setup works: blocked (unattended), or with its window
// answering (the window's message loop waits).
class SetupWaiting {
public:
    virtual ~SetupWaiting() = default;
    // From now on a change in `folder` also ends a wait.
    virtual void WatchFolder(const std::string& folder) = 0;
    // Returns when the started setup may have ended, the watched folder may have changed or
    // `milliseconds` have passed; false when the run is to stop waiting (its window closed).
    virtual bool Wait(unsigned long milliseconds) = 0;
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
