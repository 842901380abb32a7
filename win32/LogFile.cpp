#include "win32/LogFile.h"

#include "win32/Errors.h"
#include "win32/LocalTime.h"
#include "win32/Security.h"
#include "win32/Text.h"

#include <memory>

namespace {

std::unique_ptr<StepLog>& ProgramLogInstance()
{
    static std::unique_ptr<StepLog> log = std::make_unique<NoStepLog>();
    return log;
}

// The checks of an opened log file; 0 when it may be written.
unsigned long CheckLogFile(HANDLE file, const std::wstring& fullPath, bool existed)
{
    if (const unsigned long error = CheckOwnFile(file, fullPath))
        return error;
    return existed ? CheckTrustedOwner(file) : 0;
}

} // namespace

FileStepLog::FileStepLog(HANDLE file, bool empty)
    : file_(file)
    , empty_(empty)
{
}

FileStepLog::~FileStepLog()
{
    CloseHandle(file_);
}

void FileStepLog::Record(const std::string& line)
{
    const std::string bytes = (empty_ ? "\xEF\xBB\xBF" : "") + LocalTimeText(true) + "  " + line + "\r\n";
    DWORD written = 0;
    if (WriteFile(file_, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) && written != 0)
        empty_ = false;
}

std::unique_ptr<FileStepLog> OpenLogFile(const std::string& path, unsigned long& error)
{
    const std::wstring fullPath = FullPath(Widen(path));
    error = fullPath.empty() ? LastError() : CheckNoLinkAbove(fullPath);
    if (error != 0)
        return nullptr;
    const SecurityDescriptor newLog(kLogFileSddl);
    if (newLog.get() == nullptr) {
        error = LastError();
        return nullptr;
    }
    SECURITY_ATTRIBUTES attributes{sizeof attributes, newLog.get(), FALSE};
    const HANDLE file = CreateFileW(fullPath.c_str(), FILE_APPEND_DATA | FILE_READ_ATTRIBUTES | READ_CONTROL,
        FILE_SHARE_READ | FILE_SHARE_WRITE, &attributes, OPEN_ALWAYS,
        FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        error = LastError();
        return nullptr;
    }
    const bool existed = GetLastError() == ERROR_ALREADY_EXISTS;
    LARGE_INTEGER size{};
    error = CheckLogFile(file, fullPath, existed);
    if (error == 0 && !GetFileSizeEx(file, &size))
        error = LastError();
    if (error != 0) {
        CloseHandle(file);
        return nullptr;
    }
    return std::make_unique<FileStepLog>(file, size.QuadPart == 0);
}

StepLog& ProgramLog()
{
    return *ProgramLogInstance();
}

void LogToFile(const std::string& path)
{
    unsigned long error = 0;
    if (std::unique_ptr<FileStepLog> log = OpenLogFile(path, error))
        ProgramLogInstance() = std::move(log);
}
