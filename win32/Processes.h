// Programs started and waited for, the job that holds a setup and what it starts, the
// processes a program started, and finding running programs by name.
#pragma once

#include "staging/Deployment.h"

#include <windows.h>

#include <optional>
#include <string>
#include <vector>

// Starts a program by its full path with its window hidden; 0 or the system's error code.
// `environment` is a block for CreateProcessW (CREATE_UNICODE_ENVIRONMENT), or null for this
// program's own.
[[nodiscard]] unsigned long StartHiddenProgram(const std::string& program, const std::string& parameters,
    const std::string& workingDirectory, DWORD creationFlags, const wchar_t* environment, PROCESS_INFORMATION& process);

// The ids of the processes that run a program file of this name (any folder, any session).
std::vector<unsigned long> ProcessesNamed(const std::wstring& exeName);
bool IsProcessRunning(const std::wstring& exeName);

// The full path of the program file a process runs; nothing when Windows does not tell
// (access denied, or the process has ended).
std::optional<std::wstring> ProcessImagePath(unsigned long processId);

// A started program and, once put in one, its job. The job lets a process that asks break
// away (JOB_OBJECT_LIMIT_BREAKAWAY_OK) and has no kill-on-close limit: what a program leaves
// running after it has ended by itself is never touched, also not when this program exits.
class Win32StartedProgram final : public StartedProgram {
public:
    explicit Win32StartedProgram(const PROCESS_INFORMATION& process);
    ~Win32StartedProgram() override;
    Win32StartedProgram(const Win32StartedProgram&) = delete;
    Win32StartedProgram& operator=(const Win32StartedProgram&) = delete;

    unsigned long ProcessId() const override { return id_; }
    unsigned long PutInNewJob() override;
    void Resume() override;
    Result<unsigned long> WaitForExit(unsigned long milliseconds) override;
    void End() override;
    std::optional<bool> JobStillRuns() override;
    // Signalled once it has ended: what the waits of SetupWaiting.h wait on.
    HANDLE Process() const { return process_; }

private:
    HANDLE process_;
    HANDLE thread_;
    DWORD id_;
    HANDLE job_ = nullptr;
};

class Win32Programs final : public Programs {
public:
    Result<std::unique_ptr<StartedProgram>> StartSuspended(const ProgramStart& start, bool breakawayFromJob) override;
};

// The running-setup check of the deployment rules: a process whose image is the staged
// setup, by full path. Where Windows does not tell a process's path, the staged file is
// asked whether it is in use as a running image.
class StagedSetupByPath final : public RunningSetupCheck {
public:
    std::optional<RunningProcess> StagedSetupRunning(const std::string& stagedSetup) override;
};
