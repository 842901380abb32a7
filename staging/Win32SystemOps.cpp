#include "staging/Win32SystemOps.h"

#include "staging/Win32Text.h"

#include <windows.h>

namespace {

bool IsDirectory(const std::wstring& path)
{
    const DWORD attributes = GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

// The calling thread's last error; a failure that left none is still not 0 (success).
unsigned long LastError()
{
    const DWORD error = GetLastError();
    return error != 0 ? error : ERROR_GEN_FAILURE;
}

std::string TrimTrailingSpace(std::string text)
{
    while (!text.empty() && (text.back() == '\r' || text.back() == '\n' || text.back() == ' '))
        text.pop_back();
    return text;
}

} // namespace

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

unsigned long Win32SystemOps::StartProgram(const std::string& program, const std::string& parameters,
    const std::string& workingDirectory, unsigned long& processId)
{
    // The program is named by its full path, so nothing else of that name can be started;
    // CreateProcessW loads no shell extensions into this elevated process.
    const std::wstring file = Widen(program);
    std::wstring commandLine = L"\"" + file + L"\" " + Widen(parameters);
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESHOWWINDOW;
    startup.wShowWindow = SW_HIDE;
    PROCESS_INFORMATION process{};
    if (!CreateProcessW(file.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr,
            Widen(workingDirectory).c_str(), &startup, &process))
        return LastError();
    CloseHandle(process.hThread);
    if (startedProcess_ != nullptr)
        CloseHandle(startedProcess_);
    startedProcess_ = process.hProcess;
    processId = process.dwProcessId;
    return 0;
}

unsigned long Win32SystemOps::WaitForStartedProgram(unsigned long& exitCode)
{
    if (startedProcess_ == nullptr)
        return ERROR_INVALID_HANDLE;
    DWORD code = 0;
    if (WaitForSingleObject(startedProcess_, INFINITE) != WAIT_OBJECT_0 || !GetExitCodeProcess(startedProcess_, &code))
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
