#include "win32/LogFile.h"

#include "win32/LocalTime.h"
#include "win32/Text.h"

#include <windows.h>

#include <memory>

namespace {

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
    const std::string bytes = (isNew ? "\xEF\xBB\xBF" : "") + LocalTimeText(true) + "  " + line + "\r\n";
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
