// The pre-install procedure's operating-system calls, done for real with Win32's W calls.
#pragma once

#include "staging/PreInstall.h"

#include <windows.h>

class Win32SystemOps : public SystemOps {
public:
    Win32SystemOps() = default;
    ~Win32SystemOps() override;
    Win32SystemOps(const Win32SystemOps&) = delete;
    Win32SystemOps& operator=(const Win32SystemOps&) = delete;

    bool FileExists(const std::string& path) override;
    std::optional<std::uint64_t> FileSize(const std::string& path) override;
    std::size_t WindowsDirectorySize(unsigned long& error) override;
    std::optional<std::string> ReadWindowsDirectory(std::size_t bufferSize, unsigned long& error) override;
    unsigned long MakeDirectory(const std::string& path, bool& created) override;
    unsigned long CopyFileOver(const std::string& from, const std::string& to) override;
    unsigned long StartProgram(const std::string& program, const std::string& parameters,
        const std::string& workingDirectory, unsigned long& processId) override;
    unsigned long WaitForStartedProgram(unsigned long& exitCode) override;
    std::string DescribeError(unsigned long error) override;
    PathKind KindOfPath(const std::string& path) override;
    std::optional<std::vector<std::string>> ListFolder(const std::string& folder, unsigned long& error) override;
    std::optional<std::string> ReadFileBytes(const std::string& path) override;
    unsigned long RemoveFile(const std::string& path) override;
    unsigned long RemoveEmptyFolder(const std::string& folder) override;
    unsigned long UninstallDriverPackage(const std::string& infName) override;
    std::optional<std::vector<std::vector<std::string>>> ManufacturerDecorations(
        const std::string& infPath, unsigned long& error) override;
    std::string NativeArchitecture() override;

protected:
    // Keeps a started process for the wait (the last one only) and closes its thread's handle.
    void KeepStartedProcess(const PROCESS_INFORMATION& process, unsigned long& processId);
    HANDLE StartedProcess() const { return startedProcess_; }

private:
    HANDLE startedProcess_ = nullptr; // of the last StartProgram, kept for WaitForStartedProgram
};

// The calling thread's last error; a failure that left none is still not 0 (success).
unsigned long LastError();

// Starts a program by its full path with its window hidden; 0 or the system's error code.
unsigned long StartHiddenProgram(const std::string& program, const std::string& parameters,
    const std::string& workingDirectory, DWORD creationFlags, PROCESS_INFORMATION& process);

// Waits up to `milliseconds` for a process to end and reads its exit code; 0, ERROR_TIMEOUT
// when it still runs, or the system's error code.
unsigned long WaitForProgram(HANDLE process, DWORD milliseconds, unsigned long& exitCode);

// Clears the read-only, hidden and system attributes of an existing file, never of a
// folder: CopyFileW refuses to replace a file that has any of them.
void MakeReplaceable(const std::wstring& path);
