#include "win32/LockFile.h"

#include "win32/Errors.h"
#include "win32/Text.h"

RunLockFile::~RunLockFile()
{
    if (handle_ != INVALID_HANDLE_VALUE)
        CloseHandle(handle_);
}

unsigned long RunLockFile::Take(const std::string& path)
{
    handle_ = CreateFileW(Widen(path).c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_ALWAYS,
        FILE_ATTRIBUTE_NORMAL | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
    return handle_ == INVALID_HANDLE_VALUE ? LastError() : 0;
}
