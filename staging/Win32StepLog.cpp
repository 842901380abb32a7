#include "staging/Win32StepLog.h"

#include "staging/Win32Text.h"

#include <windows.h>

#include <cstdio>
#include <memory>

namespace {

std::string Timestamp()
{
    SYSTEMTIME now;
    GetLocalTime(&now);
    char text[32];
    std::snprintf(text, sizeof text, "%04u-%02u-%02u %02u:%02u:%02u.%03u", now.wYear, now.wMonth, now.wDay, now.wHour,
        now.wMinute, now.wSecond, now.wMilliseconds);
    return text;
}

std::unique_ptr<StepLog>& ProgramLogInstance()
{
    static std::unique_ptr<StepLog> log = std::make_unique<NoStepLog>();
    return log;
}

} // namespace

void FileStepLog::Record(const std::string& line)
{
    const HANDLE file = CreateFileW(Widen(path_).c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
        OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return;
    LARGE_INTEGER size{};
    const bool isNew = GetFileSizeEx(file, &size) && size.QuadPart == 0;
    const std::string bytes = (isNew ? "\xEF\xBB\xBF" : "") + Timestamp() + "  " + line + "\r\n";
    DWORD written = 0;
    WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
    CloseHandle(file);
}

StepLog& ProgramLog()
{
    return *ProgramLogInstance();
}

void LogToFile(const std::string& path)
{
    ProgramLogInstance() = std::make_unique<FileStepLog>(path);
}
