#include "win32/Processes.h"

#include "staging/DriverPackage.h"
#include "win32/Errors.h"
#include "win32/OptionalFunction.h"
#include "win32/Text.h"

#include <tlhelp32.h>

namespace {

// How long ending a timed-out setup may take before the run reports it anyway.
constexpr DWORD kEndingMilliseconds = 10000;

} // namespace

unsigned long StartHiddenProgram(const std::string& program, const std::string& parameters,
    const std::string& workingDirectory, DWORD creationFlags, PROCESS_INFORMATION& process)
{
    // The program is named by its full path, so nothing else of that name can be started;
    // CreateProcessW loads no shell extensions into this elevated process.
    const std::wstring file = Widen(program);
    std::wstring commandLine = L"\"" + file + L"\" " + Widen(parameters);
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESHOWWINDOW;
    startup.wShowWindow = SW_HIDE;
    process = {};
    if (!CreateProcessW(file.c_str(), commandLine.data(), nullptr, nullptr, FALSE, creationFlags, nullptr,
            Widen(workingDirectory).c_str(), &startup, &process))
        return LastError();
    return 0;
}

unsigned long WaitForProgram(HANDLE process, DWORD milliseconds, unsigned long& exitCode)
{
    if (process == nullptr)
        return ERROR_INVALID_HANDLE;
    const DWORD waited = WaitForSingleObject(process, milliseconds);
    if (waited == WAIT_TIMEOUT)
        return ERROR_TIMEOUT;
    DWORD code = 0;
    if (waited != WAIT_OBJECT_0 || !GetExitCodeProcess(process, &code))
        return LastError();
    exitCode = code;
    return 0;
}

std::vector<unsigned long> ProcessesNamed(const std::wstring& exeName)
{
    std::vector<unsigned long> ids;
    const HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (snapshot == INVALID_HANDLE_VALUE)
        return ids;
    PROCESSENTRY32W entry{};
    entry.dwSize = sizeof entry;
    for (BOOL more = Process32FirstW(snapshot, &entry); more; more = Process32NextW(snapshot, &entry))
        if (lstrcmpiW(entry.szExeFile, exeName.c_str()) == 0)
            ids.push_back(entry.th32ProcessID);
    CloseHandle(snapshot);
    return ids;
}

bool IsProcessRunning(const std::wstring& exeName)
{
    return !ProcessesNamed(exeName).empty();
}

std::optional<std::wstring> ProcessImagePath(unsigned long processId)
{
    // Windows Vista and later: even for a process of another account, with limited rights.
    using QueryFullProcessImageNameFunction = BOOL(WINAPI*)(HANDLE, DWORD, wchar_t*, DWORD*);
    if (const auto query =
            OptionalFunction<QueryFullProcessImageNameFunction>(Kernel32(), "QueryFullProcessImageNameW")) {
        constexpr DWORD kQueryLimitedInformation = 0x1000; // PROCESS_QUERY_LIMITED_INFORMATION
        const HANDLE process = OpenProcess(kQueryLimitedInformation, FALSE, processId);
        if (process == nullptr)
            return std::nullopt;
        std::wstring path(32768, L'\0');
        DWORD length = static_cast<DWORD>(path.size());
        const BOOL told = query(process, 0, path.data(), &length);
        CloseHandle(process);
        if (!told)
            return std::nullopt;
        path.resize(length);
        return path;
    }
    // Windows 2000 and XP: a process's first module is its program file.
    const HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPMODULE, processId);
    if (snapshot == INVALID_HANDLE_VALUE)
        return std::nullopt;
    MODULEENTRY32W module{};
    module.dwSize = sizeof module;
    const BOOL found = Module32FirstW(snapshot, &module);
    CloseHandle(snapshot);
    return found ? std::optional<std::wstring>(module.szExePath) : std::nullopt;
}

namespace {

// Whether a program file is mapped as the image of a running process: Windows then
// refuses to open it for writing (nothing is written; the handle is closed at once).
bool RunsAsAnImage(const std::wstring& path)
{
    const HANDLE file =
        CreateFileW(path.c_str(), FILE_WRITE_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
            OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (file != INVALID_HANDLE_VALUE) {
        CloseHandle(file);
        return false;
    }
    return GetLastError() == ERROR_SHARING_VIOLATION;
}

} // namespace

SetupInJob::~SetupInJob()
{
    // Closing the job ends nothing: it has no kill-on-close limit.
    if (job_ != nullptr)
        CloseHandle(job_);
    if (process_ != nullptr)
        CloseHandle(process_);
}

unsigned long SetupInJob::Start(const std::string& program, const std::string& parameters,
    const std::string& workingDirectory, StartedProgram& started)
{
    PROCESS_INFORMATION process;
    if (const unsigned long error =
            StartHiddenProgram(program, parameters, workingDirectory, CREATE_SUSPENDED, process))
        return error;
    if (job_ == nullptr)
        job_ = CreateJobObjectW(nullptr, nullptr);
    // Fails where this program runs in a job that allows no other (Windows 7 and older).
    inJob_ = job_ != nullptr && AssignProcessToJobObject(job_, process.hProcess) != FALSE;
    started.jobError = inJob_ ? 0 : LastError();
    ResumeThread(process.hThread);
    CloseHandle(process.hThread);
    if (process_ != nullptr)
        CloseHandle(process_);
    process_ = process.hProcess;
    started.processId = process.dwProcessId;
    return 0;
}

unsigned long SetupInJob::Wait(unsigned long timeoutSeconds, unsigned long& exitCode)
{
    return WaitForProgram(process_, static_cast<DWORD>(timeoutSeconds * 1000), exitCode);
}

bool SetupInJob::End()
{
    const bool withItsProcesses = inJob_ && TerminateJobObject(job_, ERROR_TIMEOUT) != FALSE;
    if (!withItsProcesses)
        TerminateProcess(process_, ERROR_TIMEOUT);
    WaitForSingleObject(process_, kEndingMilliseconds);
    return withItsProcesses;
}

std::optional<bool> SetupInJob::JobStillRuns() const
{
    JOBOBJECT_BASIC_ACCOUNTING_INFORMATION accounting{};
    if (!inJob_ ||
        !QueryInformationJobObject(job_, JobObjectBasicAccountingInformation, &accounting, sizeof accounting, nullptr))
        return std::nullopt;
    return accounting.ActiveProcesses > 0;
}

std::optional<RunningProcess> StagedSetupByPath::StagedSetupRunning(const std::string& stagedSetup)
{
    // Windows would refuse to replace its files, and Wine would replace them and start a
    // second setup beside it: the running program is what tells, not the copy's error.
    // Any user can run a program of that name elsewhere: only the staged file counts.
    const std::wstring staged = Widen(stagedSetup);
    for (const unsigned long id : ProcessesNamed(Widen(kStagedSetupName))) {
        if (const std::optional<std::wstring> path = ProcessImagePath(id)) {
            if (lstrcmpiW(path->c_str(), staged.c_str()) == 0)
                return RunningProcess{id, Narrow(*path)};
        } else if (RunsAsAnImage(staged)) {
            return RunningProcess{id, ""};
        }
    }
    return std::nullopt;
}
