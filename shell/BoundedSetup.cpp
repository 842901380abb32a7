#include "shell/BoundedSetup.h"

#include "shell/CommandLine.h"

namespace {

// How long ending the timed-out setup may take before the run reports it anyway.
constexpr DWORD kEndingMilliseconds = 10000;

} // namespace

BoundedSetupOps::BoundedSetupOps(StepLog& log, unsigned long timeoutSeconds)
    : log_(log)
    , timeoutSeconds_(timeoutSeconds)
{
}

BoundedSetupOps::~BoundedSetupOps()
{
    // Closing the job ends nothing: it has no kill-on-close limit.
    if (job_ != nullptr)
        CloseHandle(job_);
}

unsigned long BoundedSetupOps::StartProgram(const std::string& program, const std::string& parameters,
    const std::string& workingDirectory, unsigned long& processId)
{
    // Started suspended, so that it cannot start anything before it is in the job.
    PROCESS_INFORMATION process;
    if (const unsigned long error =
            StartHiddenProgram(program, parameters, workingDirectory, CREATE_SUSPENDED, process))
        return error;
    if (job_ == nullptr)
        job_ = CreateJobObjectW(nullptr, nullptr);
    // Fails where this program runs in a job that allows no other (Windows 7 and older).
    setupInJob_ = job_ != nullptr && AssignProcessToJobObject(job_, process.hProcess) != FALSE;
    if (!setupInJob_)
        log_.Record(SetupOutsideJobLogLine(DescribeError(LastError())));
    ResumeThread(process.hThread);
    KeepStartedProcess(process, processId);
    return 0;
}

unsigned long BoundedSetupOps::WaitForStartedProgram(unsigned long& exitCode)
{
    const unsigned long error = WaitForProgram(StartedProcess(), timeoutSeconds_ * 1000, exitCode);
    if (error == ERROR_TIMEOUT)
        EndTimedOutSetup();
    return error;
}

void BoundedSetupOps::EndTimedOutSetup()
{
    const bool endedWithItsProcesses = setupInJob_ && TerminateJobObject(job_, ERROR_TIMEOUT) != FALSE;
    if (!endedWithItsProcesses)
        TerminateProcess(StartedProcess(), ERROR_TIMEOUT);
    WaitForSingleObject(StartedProcess(), kEndingMilliseconds);
    log_.Record(SetupTimedOutLogLine(timeoutSeconds_, endedWithItsProcesses));
}
