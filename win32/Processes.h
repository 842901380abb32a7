// Programs started and waited for, the job that holds a setup and what it starts, and
// finding running programs by name.
#pragma once

#include "staging/Deployment.h"

#include <windows.h>

#include <optional>
#include <string>
#include <vector>

// Starts a program by its full path with its window hidden; 0 or the system's error code.
unsigned long StartHiddenProgram(const std::string& program, const std::string& parameters,
    const std::string& workingDirectory, DWORD creationFlags, PROCESS_INFORMATION& process);

// Waits up to `milliseconds` for a process to end and reads its exit code; 0, ERROR_TIMEOUT
// when it still runs, or the system's error code.
unsigned long WaitForProgram(HANDLE process, DWORD milliseconds, unsigned long& exitCode);

// The ids of the processes that run a program file of this name (any folder, any session).
std::vector<unsigned long> ProcessesNamed(const std::wstring& exeName);
bool IsProcessRunning(const std::wstring& exeName);

// The full path of the program file a process runs; nothing when Windows does not tell
// (access denied, or the process has ended).
std::optional<std::wstring> ProcessImagePath(unsigned long processId);

// A setup program in a job object: started suspended, so that nothing it starts escapes
// the job, then resumed. The job has no kill-on-close limit: what a setup leaves running
// after it has ended by itself is never touched, also not when this program exits.
class SetupInJob {
public:
    SetupInJob() = default;
    ~SetupInJob();
    SetupInJob(const SetupInJob&) = delete;
    SetupInJob& operator=(const SetupInJob&) = delete;

    // Starts it; replaces the setup started before, if any.
    unsigned long Start(const std::string& program, const std::string& parameters, const std::string& workingDirectory,
        StartedProgram& started);
    unsigned long Wait(unsigned long timeoutSeconds, unsigned long& exitCode);
    // Ends the setup and, when it is in the job, every process it started; false when only
    // the setup itself could be ended.
    bool End();
    // Whether any process in the job still runs; nothing when the setup is not in one.
    std::optional<bool> JobStillRuns() const;
    // The setup's process, for waits; nullptr before a start.
    HANDLE Process() const { return process_; }

private:
    HANDLE job_ = nullptr;
    HANDLE process_ = nullptr;
    bool inJob_ = false;
};

// The running-setup check of the deployment rules: a process whose image is the staged
// setup, by full path. Where Windows does not tell a process's path, the staged file is
// asked whether it is in use as a running image.
class StagedSetupByPath final : public RunningSetupCheck {
public:
    std::optional<RunningProcess> StagedSetupRunning(const std::string& stagedSetup) override;
};
