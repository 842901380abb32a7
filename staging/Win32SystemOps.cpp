#include "staging/Win32SystemOps.h"

#include "staging/Win32Text.h"

#include <windows.h>

namespace {

bool IsDirectory(const std::wstring& path)
{
    const DWORD attributes = GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

// A staged file copied earlier from read-only media keeps its read-only attribute, and
// CopyFileW refuses to overwrite such a file: clear the attribute first.
void MakeWritable(const std::wstring& path)
{
    const DWORD attributes = GetFileAttributesW(path.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY) != 0 &&
        (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0)
        SetFileAttributesW(path.c_str(), attributes & ~DWORD{FILE_ATTRIBUTE_READONLY});
}

std::string TrimTrailingSpace(std::string text)
{
    while (!text.empty() && (text.back() == '\r' || text.back() == '\n' || text.back() == ' '))
        text.pop_back();
    return text;
}

} // namespace

bool Win32SystemOps::FileExists(const std::string& path)
{
    const DWORD attributes = GetFileAttributesW(Widen(path).c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

std::size_t Win32SystemOps::WindowsDirectorySize()
{
    return GetWindowsDirectoryW(nullptr, 0);
}

std::optional<std::string> Win32SystemOps::ReadWindowsDirectory(std::size_t bufferSize)
{
    std::wstring buffer(bufferSize, L'\0');
    const UINT length = GetWindowsDirectoryW(buffer.data(), static_cast<UINT>(bufferSize));
    if (length == 0 || length >= bufferSize)
        return std::nullopt;
    buffer.resize(length);
    return Narrow(buffer);
}

unsigned long Win32SystemOps::MakeDirectory(const std::string& path)
{
    const std::wstring widePath = Widen(path);
    if (CreateDirectoryW(widePath.c_str(), nullptr))
        return 0;
    const DWORD error = GetLastError();
    return error == ERROR_ALREADY_EXISTS && IsDirectory(widePath) ? 0 : error;
}

unsigned long Win32SystemOps::CopyFileOver(const std::string& from, const std::string& to)
{
    const std::wstring destination = Widen(to);
    MakeWritable(destination);
    return CopyFileW(Widen(from).c_str(), destination.c_str(), FALSE) ? 0 : GetLastError();
}

unsigned long Win32SystemOps::StartProgram(
    const std::string& program, const std::string& parameters, const std::string& workingDirectory)
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
        return GetLastError();
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
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
