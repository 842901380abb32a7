#include "win32/Processes.h"

#include "staging/DriverPackage.h"
#include "win32/Errors.h"
#include "win32/OptionalFunction.h"
#include "win32/Text.h"

#include <tlhelp32.h>

#include <algorithm>

namespace {

// How long ending a timed-out setup may take before the run reports it anyway.
constexpr DWORD kEndingMilliseconds = 10000;

} // namespace

unsigned long StartHiddenProgram(const std::string& program, const std::string& parameters,
    const std::string& workingDirectory, DWORD creationFlags, const wchar_t* environment, PROCESS_INFORMATION& process)
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
    if (!CreateProcessW(file.c_str(), commandLine.data(), nullptr, nullptr, FALSE, creationFlags,
            const_cast<wchar_t*>(environment), Widen(workingDirectory).c_str(), &startup, &process))
        return LastError();
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
        if (SameNameIgnoringCase(entry.szExeFile, exeName))
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

namespace {

// The name part of an environment entry "NAME=VALUE" (the per-drive "=C:=C:\x" included).
std::wstring VariableName(const std::wstring& entry)
{
    return entry.substr(0, entry.find(L'=', 1));
}

std::wstring UpperAscii(std::wstring text)
{
    for (wchar_t& character : text)
        if (character >= L'a' && character <= L'z')
            character = static_cast<wchar_t>(character - L'a' + L'A');
    return text;
}

// This program's environment with `changes` set, as a block for CreateProcessW: sorted by
// name without case, as Windows keeps it.
std::wstring EnvironmentWith(const std::vector<std::pair<std::string, std::string>>& changes)
{
    std::vector<std::wstring> entries;
    if (wchar_t* const block = GetEnvironmentStringsW()) {
        for (const wchar_t* entry = block; *entry != L'\0'; entry += lstrlenW(entry) + 1)
            entries.emplace_back(entry);
        FreeEnvironmentStringsW(block);
    }
    for (const auto& [name, value] : changes) {
        const std::wstring wideName = UpperAscii(Widen(name));
        entries.erase(std::remove_if(entries.begin(), entries.end(),
                          [&](const std::wstring& entry) { return UpperAscii(VariableName(entry)) == wideName; }),
            entries.end());
        entries.push_back(Widen(name) + L"=" + Widen(value));
    }
    std::stable_sort(entries.begin(), entries.end(), [](const std::wstring& one, const std::wstring& other) {
        return UpperAscii(VariableName(one)) < UpperAscii(VariableName(other));
    });
    std::wstring block;
    for (const std::wstring& entry : entries)
        block.append(entry).push_back(L'\0');
    block.push_back(L'\0');
    return block;
}

// When a process was created, as a number that grows with time; nothing when Windows does not tell.
std::optional<ULONGLONG> CreationTime(HANDLE process)
{
    FILETIME created, exited, kernel, user;
    if (!GetProcessTimes(process, &created, &exited, &kernel, &user))
        return std::nullopt;
    return (ULONGLONG{created.dwHighDateTime} << 32) | created.dwLowDateTime;
}

std::optional<ULONGLONG> CreationTimeOf(DWORD processId)
{
    const HANDLE process = OpenProcess(PROCESS_QUERY_INFORMATION, FALSE, processId);
    if (process == nullptr)
        return std::nullopt;
    const std::optional<ULONGLONG> created = CreationTime(process);
    CloseHandle(process);
    return created;
}

// The processes that `root` (created at `rootCreated`) started, and those they started: each
// found by its parent's process id, and counted only when it was created after that parent,
// for Windows gives a freed id to the next process.
std::vector<DWORD> StartedBy(DWORD root, ULONGLONG rootCreated)
{
    std::vector<std::pair<DWORD, DWORD>> processes; // id, parent id
    const HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (snapshot == INVALID_HANDLE_VALUE)
        return {};
    PROCESSENTRY32W entry{};
    entry.dwSize = sizeof entry;
    for (BOOL more = Process32FirstW(snapshot, &entry); more; more = Process32NextW(snapshot, &entry))
        processes.emplace_back(entry.th32ProcessID, entry.th32ParentProcessID);
    CloseHandle(snapshot);
    std::vector<std::pair<DWORD, ULONGLONG>> found{{root, rootCreated}};
    for (std::size_t parent = 0; parent < found.size(); ++parent)
        for (const auto& [id, parentId] : processes) {
            if (parentId != found[parent].first || id == root ||
                std::any_of(found.begin(), found.end(), [id = id](const auto& known) { return known.first == id; }))
                continue;
            if (const std::optional<ULONGLONG> created = CreationTimeOf(id);
                created && *created >= found[parent].second)
                found.emplace_back(id, *created);
        }
    std::vector<DWORD> started;
    for (std::size_t index = 1; index < found.size(); ++index)
        started.push_back(found[index].first);
    return started;
}

void EndProcess(DWORD processId)
{
    if (const HANDLE process = OpenProcess(PROCESS_TERMINATE, FALSE, processId)) {
        TerminateProcess(process, ERROR_TIMEOUT);
        CloseHandle(process);
    }
}

} // namespace

Win32StartedProgram::Win32StartedProgram(const PROCESS_INFORMATION& process)
    : process_(process.hProcess)
    , thread_(process.hThread)
    , id_(process.dwProcessId)
{
}

Win32StartedProgram::~Win32StartedProgram()
{
    // Closing the job ends nothing: it has no kill-on-close limit.
    if (job_ != nullptr)
        CloseHandle(job_);
    if (thread_ != nullptr)
        CloseHandle(thread_);
    CloseHandle(process_);
}

unsigned long Win32StartedProgram::PutInNewJob()
{
    const HANDLE job = CreateJobObjectW(nullptr, nullptr);
    if (job == nullptr)
        return LastError();
    // A program that asks to break away (to start something in the user's session, say) may.
    JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits{};
    limits.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_BREAKAWAY_OK;
    if (!SetInformationJobObject(job, JobObjectExtendedLimitInformation, &limits, sizeof limits) ||
        !AssignProcessToJobObject(job, process_)) {
        const unsigned long error = LastError();
        CloseHandle(job);
        return error;
    }
    job_ = job;
    return 0;
}

void Win32StartedProgram::Resume()
{
    ResumeThread(thread_);
    CloseHandle(thread_);
    thread_ = nullptr;
}

Result<unsigned long> Win32StartedProgram::WaitForExit(unsigned long milliseconds)
{
    const DWORD waited = WaitForSingleObject(process_, milliseconds);
    if (waited == WAIT_TIMEOUT)
        return Failed{ERROR_TIMEOUT};
    DWORD code = 0;
    if (waited != WAIT_OBJECT_0 || !GetExitCodeProcess(process_, &code))
        return Failed{LastError()};
    return code;
}

void Win32StartedProgram::End()
{
    if (job_ == nullptr || !TerminateJobObject(job_, ERROR_TIMEOUT)) {
        // In no job: what it started, found before it goes, then it.
        const std::optional<ULONGLONG> created = CreationTime(process_);
        const std::vector<DWORD> started = created ? StartedBy(id_, *created) : std::vector<DWORD>{};
        TerminateProcess(process_, ERROR_TIMEOUT);
        for (const DWORD id : started)
            EndProcess(id);
    }
    WaitForSingleObject(process_, kEndingMilliseconds);
}

std::optional<bool> Win32StartedProgram::JobStillRuns()
{
    JOBOBJECT_BASIC_ACCOUNTING_INFORMATION accounting{};
    if (job_ == nullptr ||
        !QueryInformationJobObject(job_, JobObjectBasicAccountingInformation, &accounting, sizeof accounting, nullptr))
        return std::nullopt;
    return accounting.ActiveProcesses > 0;
}

Result<std::unique_ptr<StartedProgram>> Win32Programs::StartSuspended(const ProgramStart& start, bool breakawayFromJob)
{
    DWORD flags = CREATE_SUSPENDED | (breakawayFromJob ? CREATE_BREAKAWAY_FROM_JOB : 0);
    std::wstring environment;
    if (!start.environment.empty()) {
        environment = EnvironmentWith(start.environment);
        flags |= CREATE_UNICODE_ENVIRONMENT;
    }
    PROCESS_INFORMATION process;
    if (const unsigned long error = StartHiddenProgram(start.program, start.parameters, start.workingDirectory, flags,
            environment.empty() ? nullptr : environment.c_str(), process))
        return Failed{error};
    return std::unique_ptr<StartedProgram>(std::make_unique<Win32StartedProgram>(process));
}

std::optional<RunningProcess> StagedSetupByPath::StagedSetupRunning(const std::string& stagedSetup)
{
    // Windows would refuse to replace its files, and Wine would replace them and start a
    // second setup beside it: the running program is what tells, not the copy's error.
    // Any user can run a program of that name elsewhere: only the staged file counts.
    const std::wstring staged = Widen(stagedSetup);
    for (const unsigned long id : ProcessesNamed(Widen(kStagedSetupName))) {
        if (const std::optional<std::wstring> path = ProcessImagePath(id)) {
            if (SameNameIgnoringCase(*path, staged))
                return RunningProcess{id, Narrow(*path)};
        } else if (RunsAsAnImage(staged)) {
            return RunningProcess{id, ""};
        }
    }
    return std::nullopt;
}
