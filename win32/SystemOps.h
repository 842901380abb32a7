// The procedures' operating-system calls, done for real: each delegates to the win32/ file
// that does that job.
#pragma once

#include "staging/Operations.h"
#include "win32/Processes.h"

class Win32SystemOps final : public SystemOps {
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
    unsigned long ProtectFolder(const std::string& path) override;
    unsigned long ReplaceWithCopy(const std::string& from, const std::string& to) override;
    unsigned long HoldAndHashFile(const std::string& path, std::string& sha256) override;
    void ReleaseHeldFile() override;
    unsigned long StartProgram(const std::string& program, const std::string& parameters,
        const std::string& workingDirectory, StartedProgram& started) override;
    unsigned long WaitForStartedProgram(unsigned long timeoutSeconds, unsigned long& exitCode) override;
    bool EndStartedProgram() override;
    std::optional<bool> StartedProgramsStillRun() override;
    std::uint32_t MillisecondsNow() override;
    std::string DescribeError(unsigned long error) override;
    PathKind KindOfPath(const std::string& path) override;
    std::optional<std::vector<std::string>> ListFolder(const std::string& folder, unsigned long& error) override;
    std::optional<std::string> ReadFileBytes(const std::string& path) override;
    unsigned long RemoveFile(const std::string& path) override;
    unsigned long RemoveEmptyFolder(const std::string& folder) override;
    unsigned long UninstallDriverPackage(const std::string& infFolder, const std::string& infName, bool force) override;
    std::optional<DeviceUse> DevicesUsing(const std::string& infName, unsigned long& error) override;
    std::optional<PackageInf> ReadPackageInf(const std::string& infPath, unsigned long& error) override;
    std::string NativeArchitecture() override;

    // The started setup's process, for the waits of win32/SetupWaiting.h.
    HANDLE StartedProcess() const { return setup_.Process(); }

private:
    SetupInJob setup_; // the last program started, for the wait
    HANDLE heldFile_ = INVALID_HANDLE_VALUE;
};
