#include "shell/SilentRun.h"

#include "resources/ProductName.h"
#include "shell/BoundedSetup.h"
#include "shell/CommandLine.h"
#include "shell/DetectionMarker.h"
#include "staging/DriverPackage.h"
#include "staging/Uninstall.h"
#include "staging/Win32StepLog.h"
#include "staging/Win32SystemOps.h"
#include "staging/Win32Text.h"

#include <tlhelp32.h>

#include <exception>
#include <functional>

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

// Gives way with 1618 while another unattended run holds the lock, or while a staged setup
// still runs; otherwise runs `work` holding the lock. What stopped it is logged and told.
unsigned long UnderLock(
    Win32SystemOps& system, WindowOps& window, StepLog& log, const std::function<unsigned long()>& work)
{
    const SilentRunLock lock;
    std::string reason;
    unsigned long code = 0;
    if (lock.Error() != 0) {
        code = lock.HeldElsewhere() ? kErrorInstallAlreadyRunning : lock.Error();
        reason = lock.HeldElsewhere() ? AlreadyRunningLogLine() : LockFailedLogLine(system.DescribeError(code));
    } else if (StagedSetupIsRunning()) {
        code = kErrorInstallAlreadyRunning;
        reason = SetupStillRunningLogLine();
    } else {
        return work();
    }
    log.Record(reason);
    RecordResult(log, system, code);
    window.ShowMessage(reason, kWarningCaption, kIconExclamation);
    return code;
}

unsigned long Install(BoundedSetupOps& system, StepLog& log)
{
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

unsigned long Uninstall(Win32SystemOps& system, WindowOps& window, StepLog& log)
{
    UninstallOutcome outcome = RunUninstall(system, log);
    bool markerRemoved = false;
    if (const unsigned long error = RemoveMarker(markerRemoved)) {
        const std::string line = MarkerFailedLogLine(system.DescribeError(error));
        log.Record(line);
        if (outcome.error == 0) {
            outcome.error = error;
            outcome.failure = line;
        }
    } else if (markerRemoved) {
        log.Record("已删除检测标记");
        outcome.removed.push_back(MarkerRemovedText());
    }
    RecordResult(log, system, outcome.error);
    if (outcome.error != 0)
        window.ShowMessage(outcome.failure, kWarningCaption, kIconExclamation);
    else
        window.ShowMessage(outcome.removed.empty() ? NothingToUninstallText() : UninstalledText(outcome.removed),
            PRODUCT_NAME, kIconInformation);
    return outcome.error;
}

// What every unattended run does around its work: no boxes from Windows, the command line
// in the log, and anything unexpected logged and ended in 1603.
unsigned long Unattended(Win32SystemOps& system, const std::function<unsigned long()>& work)
{
    // No "insert a disk" or fault boxes from Windows either: nobody is there to answer.
    SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX | SEM_NOOPENFILEERRORBOX);
    StepLog& log = ProgramLog();
    try {
        log.Record(CommandLineLogLine(Narrow(GetCommandLineW())));
        return work();
    } catch (const std::exception& exception) {
        log.Record(ExceptionLogLine(exception.what()));
    } catch (...) {
        log.Record(ExceptionLogLine(""));
    }
    RecordResult(log, system, kErrorInstallFailure);
    return kErrorInstallFailure;
}

} // namespace

std::string NoWindowOps::ExecutablePath()
{
    return ExecutableFilePath();
}

unsigned long RunSilently(unsigned long setupTimeoutSeconds)
{
    StepLog& log = ProgramLog();
    BoundedSetupOps system(log, setupTimeoutSeconds);
    NoWindowOps window;
    return Unattended(system, [&] { return UnderLock(system, window, log, [&] { return Install(system, log); }); });
}

unsigned long RunUninstall(WindowOps& window)
{
    StepLog& log = ProgramLog();
    Win32SystemOps system;
    return Unattended(
        system, [&] { return UnderLock(system, window, log, [&] { return Uninstall(system, window, log); }); });
}
