#include "win32/LockFile.h"

#include "win32/Errors.h"
#include "win32/Text.h"

RunLockFile::~RunLockFile()
{
    if (handle_ != INVALID_HANDLE_VALUE)
        CloseHandle(handle_);
}

namespace {

// How long an open that meets the lock file being deleted is tried again.
constexpr int kDeleteRaceTries = 20;
constexpr DWORD kDeleteRaceWaitMilliseconds = 50;

// Whether a file is at `path`, also one that Windows is deleting (that answers access denied).
bool IsThere(const std::wstring& path)
{
    if (GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES)
        return true;
    const DWORD error = GetLastError();
    return error == ERROR_ACCESS_DENIED || error == ERROR_DELETE_PENDING;
}

} // namespace

unsigned long RunLockFile::Take(const std::string& path)
{
    const std::wstring lock = Widen(path);
    for (int attempt = 0;; ++attempt) {
        // A link at the lock's name is opened (and deleted) itself, never followed.
        handle_ = CreateFileW(lock.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_ALWAYS,
            FILE_ATTRIBUTE_NORMAL | FILE_FLAG_DELETE_ON_CLOSE | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
        if (handle_ != INVALID_HANDLE_VALUE)
            return 0;
        const unsigned long error = LastError();
        // Access denied while the file is there: another run is closing it, and Windows is
        // deleting it. Once that is over the lock is free; if it lasts, that run is still there.
        if (error != ERROR_ACCESS_DENIED || !IsThere(lock))
            return error;
        if (attempt == kDeleteRaceTries)
            return ERROR_SHARING_VIOLATION;
        Sleep(kDeleteRaceWaitMilliseconds);
    }
}
