#include "shell/SilentRun.h"

#include "shell/CommandLine.h"
#include "staging/DriverPackage.h"
#include "staging/Win32StepLog.h"
#include "staging/Win32SystemOps.h"
#include "staging/Win32Text.h"

#include <exception>

namespace {

// One unattended run per PC, whoever started it and in whichever session.
constexpr wchar_t kSilentRunLock[] = L"Global\\IcCardReaderUsbPreInstall.Silent";

// The procedure's window operations when there is no window: what it tells the user is
// already in the log, and there is nothing to enable or show.
class NoWindowOps final : public WindowOps {
public:
    std::string ExecutablePath() override { return ExecutableFilePath(); }
    void ShowMessage(const std::string&, const std::string&, unsigned) override { }
    void SetPreInstallButtonEnabled(bool) override { }
    void ShowSuccessLabel() override { }
};

// Held for the whole run; another unattended run finds it and gives way.
class SilentRunLock {
public:
    SilentRunLock()
        : handle_(CreateMutexW(nullptr, FALSE, kSilentRunLock))
    {
        const DWORD error = GetLastError();
        if (handle_ == nullptr)
            error_ = error != 0 ? error : kErrorInstallFailure;
        else if (error == ERROR_ALREADY_EXISTS)
            error_ = error;
    }
    ~SilentRunLock()
    {
        if (handle_ != nullptr)
            CloseHandle(handle_);
    }
    SilentRunLock(const SilentRunLock&) = delete;
    SilentRunLock& operator=(const SilentRunLock&) = delete;

    // Another run holds it: it exists, or it exists and belongs to an account we cannot open.
    bool HeldElsewhere() const { return error_ == ERROR_ALREADY_EXISTS || error_ == ERROR_ACCESS_DENIED; }
    unsigned long Error() const { return error_; }

private:
    HANDLE handle_;
    unsigned long error_ = 0;
};

unsigned long RunLocked(Win32SystemOps& system, StepLog& log)
{
    const SilentRunLock lock;
    if (lock.Error() != 0) {
        const unsigned long code = lock.HeldElsewhere() ? kErrorInstallAlreadyRunning : lock.Error();
        log.Record(lock.HeldElsewhere() ? AlreadyRunningLogLine() : LockFailedLogLine(system.DescribeError(code)));
        RecordResult(log, system, code);
        return code;
    }
    NoWindowOps window;
    return DeploymentExitCode(RunPreInstall(window, system, log, SetupWait::Yes));
}

} // namespace

unsigned long RunSilently()
{
    // No "insert a disk" or fault boxes from Windows either: nobody is there to answer.
    SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX | SEM_NOOPENFILEERRORBOX);
    StepLog& log = ProgramLog();
    Win32SystemOps system;
    try {
        log.Record(CommandLineLogLine(Narrow(GetCommandLineW())));
        return RunLocked(system, log);
    } catch (const std::exception& exception) {
        log.Record(ExceptionLogLine(exception.what()));
    } catch (...) {
        log.Record(ExceptionLogLine(""));
    }
    RecordResult(log, system, kErrorInstallFailure);
    return kErrorInstallFailure;
}
