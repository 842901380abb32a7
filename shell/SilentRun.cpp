#include "shell/SilentRun.h"

#include "shell/CommandLine.h"
#include "shell/DetectionMarker.h"
#include "staging/DriverPackage.h"
#include "staging/Win32StepLog.h"
#include "staging/Win32SystemOps.h"
#include "staging/Win32Text.h"

#include <tlhelp32.h>

#include <exception>

namespace {

// One unattended run per PC, whoever started it and in whichever session: a file in the
// Windows directory, where only administrators may create files, so that no ordinary user
// can take the lock first (any user may create a Global\\ mutex).
constexpr wchar_t kSilentRunLockName[] = L"IcCardReaderUsbPreInstall.lock";

std::wstring SilentRunLockPath()
{
    wchar_t directory[MAX_PATH + 1];
    const UINT length = GetWindowsDirectoryW(directory, MAX_PATH + 1);
    std::wstring path(directory, length <= MAX_PATH ? length : 0);
    if (!path.empty() && path.back() != L'\\')
        path += L'\\';
    return path + kSilentRunLockName;
}

// The procedure's window operations when there is no window: what it tells the user is
// already in the log, and there is nothing to enable or show.
class NoWindowOps final : public WindowOps {
public:
    std::string ExecutablePath() override { return ExecutableFilePath(); }
    void ShowMessage(const std::string&, const std::string&, unsigned) override { }
    void SetPreInstallButtonEnabled(bool) override { }
    void ShowSuccessLabel() override { }
};

// Held for the whole run: the lock file open without sharing. Another unattended run
// cannot open it and gives way. Windows closes the handle however the run ends, and the
// file goes with it, so a run that was killed blocks nothing.
class SilentRunLock {
public:
    SilentRunLock()
        : handle_(CreateFileW(SilentRunLockPath().c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_ALWAYS,
              FILE_ATTRIBUTE_NORMAL | FILE_FLAG_DELETE_ON_CLOSE, nullptr))
    {
        if (handle_ == INVALID_HANDLE_VALUE) {
            const DWORD error = GetLastError();
            error_ = error != 0 ? error : kErrorInstallFailure;
        }
    }
    ~SilentRunLock()
    {
        if (handle_ != INVALID_HANDLE_VALUE)
            CloseHandle(handle_);
    }
    SilentRunLock(const SilentRunLock&) = delete;
    SilentRunLock& operator=(const SilentRunLock&) = delete;

    // Another run holds it open. Access denied is not that: the account may not write the
    // Windows directory, and the run could not stage anything there either.
    bool HeldElsewhere() const { return error_ == ERROR_SHARING_VIOLATION; }
    unsigned long Error() const { return error_; }

private:
    HANDLE handle_;
    unsigned long error_ = 0;
};

// Whether a staged setup started earlier (from the window, or by a run that was killed)
// still runs. Windows would refuse to replace its files, and Wine would replace them and
// start a second setup beside it; the running program is what tells, not the copy's error.
bool StagedSetupIsRunning()
{
    const HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (snapshot == INVALID_HANDLE_VALUE)
        return false; // cannot tell: the copies then report a setup in use, as before
    const std::wstring setupName = Widen(kStagedSetupName);
    PROCESSENTRY32W entry{};
    entry.dwSize = sizeof entry;
    bool running = false;
    for (BOOL more = Process32FirstW(snapshot, &entry); more && !running; more = Process32NextW(snapshot, &entry))
        running = lstrcmpiW(entry.szExeFile, setupName.c_str()) == 0;
    CloseHandle(snapshot);
    return running;
}

// A marker that cannot be kept true ends the run in that error: a deployment tool must
// not read success from it.
unsigned long MarkerFailed(Win32SystemOps& system, StepLog& log, unsigned long error)
{
    log.Record(MarkerFailedLogLine(system.DescribeError(error)));
    RecordResult(log, system, error);
    return error;
}

unsigned long RunLocked(Win32SystemOps& system, StepLog& log)
{
    const SilentRunLock lock;
    if (lock.Error() != 0) {
        const unsigned long code = lock.HeldElsewhere() ? kErrorInstallAlreadyRunning : lock.Error();
        log.Record(lock.HeldElsewhere() ? AlreadyRunningLogLine() : LockFailedLogLine(system.DescribeError(code)));
        RecordResult(log, system, code);
        return code;
    }
    if (StagedSetupIsRunning()) {
        log.Record(SetupStillRunningLogLine());
        RecordResult(log, system, kErrorInstallAlreadyRunning);
        return kErrorInstallAlreadyRunning;
    }
    if (const unsigned long error = WithdrawInstalledMarker())
        return MarkerFailed(system, log, error);
    NoWindowOps window;
    const PreInstallOutcome outcome = RunPreInstall(window, system, log, SetupWait::Yes);
    const unsigned long code = DeploymentExitCode(outcome);
    // Only now, after the setup has ended: a run killed before this leaves no Installed.
    if (const unsigned long error = RecordRunInMarker(code, outcome.setupExitCode))
        return MarkerFailed(system, log, error);
    return code;
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
