// The pre-install procedure: checks the driver package beside the executable, stages it
// under the Windows directory and starts its setup program. It reaches the window and
// the operating system only through the two interfaces below, so that it builds and
// runs anywhere. All strings are UTF-8.
#pragma once

#include <cstddef>
#include <optional>
#include <string>

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
    // Characters needed to hold the Windows directory, including the terminator; 0 on failure.
    virtual std::size_t WindowsDirectorySize() = 0;
    // The Windows directory read into a buffer of `bufferSize` characters; nothing when
    // the query fails or the path does not fit.
    virtual std::optional<std::string> ReadWindowsDirectory(std::size_t bufferSize) = 0;
    // Creates one directory level (not its parents). Succeeds also when it already exists as a directory.
    virtual unsigned long MakeDirectory(const std::string& path) = 0;
    // Copies a file, replacing an existing destination even if it is read-only.
    virtual unsigned long CopyFileOver(const std::string& from, const std::string& to) = 0;
    // Starts a program hidden, without waiting for it.
    virtual unsigned long StartProgram(
        const std::string& program, const std::string& parameters, const std::string& workingDirectory) = 0;
    // The system's one-line description of an error code.
    virtual std::string DescribeError(unsigned long error) = 0;
};

// Runs the whole procedure once; every failure is told to the user through `window`.
void RunPreInstall(WindowOps& window, SystemOps& system);
