#include "staging/Win32SystemOps.h"

#include "staging/OptionalFunction.h"
#include "staging/Paths.h"
#include "staging/Win32Text.h"

#include <windows.h>

#include <setupapi.h>

namespace {

bool IsDirectory(const std::wstring& path)
{
    const DWORD attributes = GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

std::string TrimTrailingSpace(std::string text)
{
    while (!text.empty() && (text.back() == '\r' || text.back() == '\n' || text.back() == ' '))
        text.pop_back();
    return text;
}

// setupapi.dll from the system directory, for as long as it is needed.
class SetupApi {
public:
    SetupApi()
        : module_(LoadSystemLibrary(L"setupapi.dll"))
        , error_(module_ == nullptr ? GetLastError() : 0)
    {
    }
    ~SetupApi()
    {
        if (module_ != nullptr)
            FreeLibrary(module_);
    }
    SetupApi(const SetupApi&) = delete;
    SetupApi& operator=(const SetupApi&) = delete;

    // A function of it; nullptr with the reason in `error` when it is not there.
    template <class Function> Function Find(const char* name, unsigned long& error) const
    {
        const auto function = OptionalFunction<Function>(module_, name);
        if (function == nullptr)
            error = module_ == nullptr ? (error_ != 0 ? error_ : ERROR_MOD_NOT_FOUND) : ERROR_PROC_NOT_FOUND;
        return function;
    }

private:
    HMODULE module_;
    DWORD error_;
};

unsigned long DeleteIfPresent(const std::wstring& path)
{
    if (GetFileAttributesW(path.c_str()) == INVALID_FILE_ATTRIBUTES)
        return 0;
    MakeReplaceable(path);
    return DeleteFileW(path.c_str()) ? 0 : LastError();
}

std::wstring WindowsInfFolder()
{
    std::wstring directory(MAX_PATH + 1, L'\0');
    const UINT length = GetWindowsDirectoryW(directory.data(), MAX_PATH + 1);
    directory.resize(length <= MAX_PATH ? length : 0);
    return Widen(EnsureTrailingBackslash(Narrow(directory))) + L"inf\\";
}

// One field of an INF line as text.
std::optional<std::wstring> InfField(decltype(&SetupGetStringFieldW) getField, INFCONTEXT& line, DWORD index)
{
    DWORD needed = 0;
    if (!getField(&line, index, nullptr, 0, &needed) || needed == 0)
        return std::nullopt;
    std::wstring field(needed, L'\0');
    if (!getField(&line, index, field.data(), needed, nullptr))
        return std::nullopt;
    field.resize(needed - 1);
    return field;
}

} // namespace

unsigned long LastError()
{
    const DWORD error = GetLastError();
    return error != 0 ? error : ERROR_GEN_FAILURE;
}

// A staged file copied earlier from read-only media keeps its read-only attribute, and a
// setup or a cleaner may have marked it hidden or system.
void MakeReplaceable(const std::wstring& path)
{
    constexpr DWORD blocking = FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM;
    const DWORD attributes = GetFileAttributesW(path.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & blocking) != 0 &&
        (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0)
        SetFileAttributesW(path.c_str(), attributes & ~blocking);
}

Win32SystemOps::~Win32SystemOps()
{
    if (startedProcess_ != nullptr)
        CloseHandle(startedProcess_);
}

bool Win32SystemOps::FileExists(const std::string& path)
{
    const DWORD attributes = GetFileAttributesW(Widen(path).c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

std::optional<std::uint64_t> Win32SystemOps::FileSize(const std::string& path)
{
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!GetFileAttributesExW(Widen(path).c_str(), GetFileExInfoStandard, &data))
        return std::nullopt;
    return (std::uint64_t{data.nFileSizeHigh} << 32) | data.nFileSizeLow;
}

std::size_t Win32SystemOps::WindowsDirectorySize(unsigned long& error)
{
    const UINT size = GetWindowsDirectoryW(nullptr, 0);
    error = size == 0 ? LastError() : 0;
    return size;
}

std::optional<std::string> Win32SystemOps::ReadWindowsDirectory(std::size_t bufferSize, unsigned long& error)
{
    std::wstring buffer(bufferSize, L'\0');
    const UINT length = GetWindowsDirectoryW(buffer.data(), static_cast<UINT>(bufferSize));
    if (length == 0 || length >= bufferSize) {
        error = length == 0 ? LastError() : ERROR_INSUFFICIENT_BUFFER;
        return std::nullopt;
    }
    buffer.resize(length);
    return Narrow(buffer);
}

unsigned long Win32SystemOps::MakeDirectory(const std::string& path, bool& created)
{
    const std::wstring widePath = Widen(path);
    created = CreateDirectoryW(widePath.c_str(), nullptr) != FALSE;
    if (created)
        return 0;
    const unsigned long error = LastError();
    return error == ERROR_ALREADY_EXISTS && IsDirectory(widePath) ? 0 : error;
}

unsigned long Win32SystemOps::CopyFileOver(const std::string& from, const std::string& to)
{
    const std::wstring destination = Widen(to);
    MakeReplaceable(destination);
    return CopyFileW(Widen(from).c_str(), destination.c_str(), FALSE) ? 0 : LastError();
}

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

unsigned long Win32SystemOps::StartProgram(const std::string& program, const std::string& parameters,
    const std::string& workingDirectory, unsigned long& processId)
{
    PROCESS_INFORMATION process;
    if (const unsigned long error = StartHiddenProgram(program, parameters, workingDirectory, 0, process))
        return error;
    KeepStartedProcess(process, processId);
    return 0;
}

void Win32SystemOps::KeepStartedProcess(const PROCESS_INFORMATION& process, unsigned long& processId)
{
    CloseHandle(process.hThread);
    if (startedProcess_ != nullptr)
        CloseHandle(startedProcess_);
    startedProcess_ = process.hProcess;
    processId = process.dwProcessId;
}

unsigned long Win32SystemOps::WaitForStartedProgram(unsigned long& exitCode)
{
    return WaitForProgram(startedProcess_, INFINITE, exitCode);
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

std::string Win32SystemOps::DescribeError(unsigned long error)
{
    std::string description = "错误代码 " + std::to_string(error);
    wchar_t* text = nullptr;
    const DWORD length =
        FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
            nullptr, error, 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
    if (length != 0 && text != nullptr)
        description += ": " + TrimTrailingSpace(Narrow(std::wstring(text, length)));
    LocalFree(text);
    return description;
}

PathKind Win32SystemOps::KindOfPath(const std::string& path)
{
    // The attributes of a link are its own: GetFileAttributesW does not follow it.
    const DWORD attributes = GetFileAttributesW(Widen(path).c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        const DWORD error = GetLastError();
        // Anything else is there but unreadable: removing it then reports why.
        return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND ? PathKind::Missing : PathKind::File;
    }
    if ((attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0)
        return PathKind::Link;
    return (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0 ? PathKind::Folder : PathKind::File;
}

std::optional<std::vector<std::string>> Win32SystemOps::ListFolder(const std::string& folder, unsigned long& error)
{
    WIN32_FIND_DATAW found;
    const HANDLE search = FindFirstFileW((Widen(EnsureTrailingBackslash(folder)) + L"*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) {
        error = LastError();
        return std::nullopt;
    }
    std::vector<std::string> names;
    do {
        const std::wstring name = found.cFileName;
        if (name != L"." && name != L"..")
            names.push_back(Narrow(name));
    } while (FindNextFileW(search, &found));
    error = GetLastError() == ERROR_NO_MORE_FILES ? 0 : LastError();
    FindClose(search);
    if (error != 0)
        return std::nullopt;
    return names;
}

std::optional<std::string> Win32SystemOps::ReadFileBytes(const std::string& path)
{
    const HANDLE file = CreateFileW(Widen(path).c_str(), GENERIC_READ,
        FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return std::nullopt;
    std::string bytes;
    char buffer[65536];
    DWORD got = 0;
    BOOL read = FALSE;
    while ((read = ReadFile(file, buffer, sizeof buffer, &got, nullptr)) && got > 0)
        bytes.append(buffer, got);
    CloseHandle(file);
    if (!read)
        return std::nullopt;
    return bytes;
}

unsigned long Win32SystemOps::RemoveFile(const std::string& path)
{
    const std::wstring widePath = Widen(path);
    // A link to a folder is removed as a folder would be; that takes the link, not its target.
    const DWORD attributes = GetFileAttributesW(widePath.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0)
        return RemoveDirectoryW(widePath.c_str()) ? 0 : LastError();
    MakeReplaceable(widePath);
    return DeleteFileW(widePath.c_str()) ? 0 : LastError();
}

unsigned long Win32SystemOps::RemoveEmptyFolder(const std::string& folder)
{
    const std::wstring path = Widen(folder);
    const DWORD attributes = GetFileAttributesW(path.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY) != 0)
        SetFileAttributesW(path.c_str(), attributes & ~FILE_ATTRIBUTE_READONLY);
    return RemoveDirectoryW(path.c_str()) ? 0 : LastError();
}

unsigned long Win32SystemOps::UninstallDriverPackage(const std::string& infName)
{
    const SetupApi setupApi;
    unsigned long error = 0;
    // Windows XP and later. Without SUOI_FORCEDELETE it refuses while a device uses the package.
    const auto uninstall = setupApi.Find<BOOL(WINAPI*)(PCWSTR, DWORD, PVOID)>("SetupUninstallOEMInfW", error);
    if (uninstall == nullptr)
        return error;
    const std::wstring name = Widen(infName);
    if (!uninstall(name.c_str(), 0, nullptr))
        return LastError();
    // Windows removes the INF and its .pnf; a setup API that only says so (Wine 8's) leaves
    // them, and then they go here, after the same verdict that the package may go.
    const std::wstring inf = WindowsInfFolder() + name;
    if (const unsigned long failed = DeleteIfPresent(inf))
        return failed;
    return DeleteIfPresent(inf.substr(0, inf.size() - 4) + L".pnf");
}

std::optional<std::vector<std::vector<std::string>>> Win32SystemOps::ManufacturerDecorations(
    const std::string& infPath, unsigned long& error)
{
    const SetupApi setupApi;
    const auto open = setupApi.Find<decltype(&SetupOpenInfFileW)>("SetupOpenInfFileW", error);
    const auto findFirst = setupApi.Find<decltype(&SetupFindFirstLineW)>("SetupFindFirstLineW", error);
    const auto findNext = setupApi.Find<decltype(&SetupFindNextLine)>("SetupFindNextLine", error);
    const auto fieldCount = setupApi.Find<decltype(&SetupGetFieldCount)>("SetupGetFieldCount", error);
    const auto getField = setupApi.Find<decltype(&SetupGetStringFieldW)>("SetupGetStringFieldW", error);
    const auto close = setupApi.Find<decltype(&SetupCloseInfFile)>("SetupCloseInfFile", error);
    if (!open || !findFirst || !findNext || !fieldCount || !getField || !close)
        return std::nullopt;
    UINT errorLine = 0;
    const HINF inf = open(Widen(infPath).c_str(), nullptr, INF_STYLE_WIN4, &errorLine);
    if (inf == INVALID_HANDLE_VALUE) {
        error = LastError();
        return std::nullopt;
    }
    std::vector<std::vector<std::string>> lines;
    INFCONTEXT line;
    for (BOOL more = findFirst(inf, L"Manufacturer", nullptr, &line); more; more = findNext(&line, &line)) {
        std::vector<std::string> decorations;
        // Field 1 names the models section; the fields after it are its decorations.
        for (DWORD index = 2; index <= fieldCount(&line); ++index)
            if (const std::optional<std::wstring> field = InfField(getField, line, index); field && !field->empty())
                decorations.push_back(Narrow(*field));
        lines.push_back(decorations);
    }
    close(inf);
    error = 0;
    return lines;
}

std::string Win32SystemOps::NativeArchitecture()
{
    // Windows 10 1709 and later tell the machine even to an emulated x86 program (on ARM64).
    using IsWow64Process2Function = BOOL(WINAPI*)(HANDLE, USHORT*, USHORT*);
    USHORT processMachine = 0, nativeMachine = 0;
    if (const auto isWow64Process2 = OptionalFunction<IsWow64Process2Function>(Kernel32(), "IsWow64Process2");
        isWow64Process2 && isWow64Process2(GetCurrentProcess(), &processMachine, &nativeMachine)) {
        switch (nativeMachine) {
        case IMAGE_FILE_MACHINE_AMD64:
            return "amd64";
        case 0xAA64: // IMAGE_FILE_MACHINE_ARM64
            return "arm64";
        case IMAGE_FILE_MACHINE_I386:
            return "x86";
        }
    }
    // Windows XP and later; older ones run only on x86 here.
    SYSTEM_INFO system{};
    using GetNativeSystemInfoFunction = void(WINAPI*)(SYSTEM_INFO*);
    if (const auto getNative = OptionalFunction<GetNativeSystemInfoFunction>(Kernel32(), "GetNativeSystemInfo"))
        getNative(&system);
    switch (system.wProcessorArchitecture) {
    case PROCESSOR_ARCHITECTURE_AMD64:
        return "amd64";
    case PROCESSOR_ARCHITECTURE_IA64:
        return "ia64";
    case 12: // PROCESSOR_ARCHITECTURE_ARM64
        return "arm64";
    default:
        return "x86";
    }
}
