// The pre-install procedure: checks the driver package beside the executable, stages it
// under the Windows directory and starts its setup program. It reaches the window, the
// operating system and the administrator's log only through the interfaces below, so that
// it builds and runs anywhere. All strings are UTF-8.
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
    // A modal message box with an OK button; `iconFlags` is kIconStop or kIconExclamation.
    virtual void ShowMessage(const std::string& text, const std::string& caption, unsigned iconFlags) = 0;
    virtual void SetPreInstallButtonEnabled(bool enabled) = 0;
    virtual void ShowSuccessLabel() = 0;
};

// The operating-system calls the procedure needs. Error codes are the system's own;
// 0 means success.
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
    // Copies a file, replacing an existing destination even if it is read-only, hidden or system.
    virtual unsigned long CopyFileOver(const std::string& from, const std::string& to) = 0;
    // Starts a program hidden, without waiting for it; its process id goes to `processId`.
    virtual unsigned long StartProgram(const std::string& program, const std::string& parameters,
        const std::string& workingDirectory, unsigned long& processId) = 0;
    // Waits until the program StartProgram started last has ended; its code goes to `exitCode`.
    virtual unsigned long WaitForStartedProgram(unsigned long& exitCode) = 0;
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
    // Removes a driver package from Windows' driver store by the name of its INF in the
    // Windows directory's inf folder (oemN.inf), with its precompiled .pnf; never forced
    // while a device uses it.
    virtual unsigned long UninstallDriverPackage(const std::string& infName) = 0;
    // The TargetOSVersion decorations of each line of an INF's [Manufacturer] section, as
    // Windows' INF parser reads them (an empty list for an undecorated line); nothing when
    // the INF cannot be read, with the error in `error`.
    virtual std::optional<std::vector<std::vector<std::string>>> ManufacturerDecorations(
        const std::string& infPath, unsigned long& error) = 0;
    // The running Windows' own processor architecture, as INF decorations name it: "x86",
    // "amd64", "arm64" or "ia64".
    virtual std::string NativeArchitecture() = 0;
};

// The Windows directory; nothing on failure, with the system's error code in `error`.
std::optional<std::string> WindowsDirectory(SystemOps& system, unsigned long& error);

// Where the procedure records each step for the administrator; it may record nowhere.
class StepLog {
public:
    virtual ~StepLog() = default;
    virtual void Record(const std::string& line) = 0;
    // Whether recorded lines go anywhere: work done only for a line can then be skipped.
    virtual bool Keeps() const { return true; }
};

// A log that records nothing: the program without /LOG.
class NoStepLog final : public StepLog {
public:
    void Record(const std::string&) override { }
    bool Keeps() const override { return false; }
};

// Whether the procedure waits for the setup program it started to end.
enum class SetupWait { No, Yes };

// How a run ended: the system error code of the step that failed (0 when the package was
// staged and its setup started), and the setup's own exit code when the run waited for it.
struct PreInstallOutcome {
    unsigned long error = 0;
    std::optional<unsigned long> setupExitCode;
};

// Runs the whole procedure once. Every failure is told through `window` (a message box
// in the window, a log line without one) and recorded in `log`, with the result.
PreInstallOutcome RunPreInstall(WindowOps& window, SystemOps& system, StepLog& log, SetupWait wait);

// The exit code an unattended run ends with, in the codes deployment tools understand:
// 0 success (also for a setup's 1707), 3010 or 1641 the setup's request for a restart, 1618
// a setup that asks to be retried, 1603 a setup that failed otherwise, or the error of the
// step that failed (never 0 for a failure).
unsigned long DeploymentExitCode(const PreInstallOutcome& outcome);

// Records the result line: the code and, for a failure, the system's text for it.
void RecordResult(StepLog& log, SystemOps& system, unsigned long code);
