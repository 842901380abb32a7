#include "win32/LogFile.h"

#include "staging/Paths.h"
#include "staging/Texts.h"
#include "win32/Errors.h"
#include "win32/LocalTime.h"
#include "win32/OptionalFunction.h"
#include "win32/Security.h"
#include "win32/Text.h"

#include <memory>

namespace {

std::unique_ptr<StepLog>& ProgramLogInstance()
{
    static std::unique_ptr<StepLog> log = std::make_unique<NoStepLog>();
    return log;
}

constexpr DWORD kLogAccess = FILE_APPEND_DATA | FILE_READ_ATTRIBUTES | READ_CONTROL;
constexpr DWORD kLogSharing = FILE_SHARE_READ | FILE_SHARE_WRITE;
// A link at the log's own name is opened itself, never followed.
constexpr DWORD kLogFlags = FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT;

FileIdentity IdentityFrom(const BY_HANDLE_FILE_INFORMATION& information)
{
    return {information.dwVolumeSerialNumber,
        (std::uint64_t{information.nFileIndexHigh} << 32) | information.nFileIndexLow};
}

// Marks a file deleted through its handle, which was opened with DELETE access: by
// SetFileInformationByHandle (Windows Vista and later), or by the native call it is made of.
void DeleteByHandle(HANDLE file)
{
    using SetInformationFunction = BOOL(WINAPI*)(HANDLE, int, void*, DWORD);
    constexpr int kFileDispositionInfo = 4;
    BOOLEAN deleteFile = TRUE;
    if (const auto setInformation =
            OptionalFunction<SetInformationFunction>(Kernel32(), "SetFileInformationByHandle")) {
        setInformation(file, kFileDispositionInfo, &deleteFile, sizeof deleteFile);
        return;
    }
    struct IoStatusBlock {
        void* status;
        ULONG_PTR information;
    };
    using NtSetInformationFileFunction = LONG(WINAPI*)(HANDLE, IoStatusBlock*, void*, ULONG, int);
    constexpr int kFileDispositionInformation = 13;
    IoStatusBlock status{};
    if (const auto ntSetInformation =
            OptionalFunction<NtSetInformationFileFunction>(GetModuleHandleW(L"ntdll.dll"), "NtSetInformationFile"))
        ntSetInformation(file, &status, &deleteFile, sizeof deleteFile, kFileDispositionInformation);
}

// The root of a full path: "C:\" or "\\server\share\".
std::wstring RootOf(const std::wstring& fullPath)
{
    const std::string path = Narrow(fullPath);
    return Widen(EnsureTrailingBackslash(path.substr(0, RootLength(path))));
}

class Win32LogFile final : public LogFile {
public:
    Win32LogFile(HANDLE file, std::wstring fullPath, bool created)
        : file_(file)
        , fullPath_(std::move(fullPath))
        , created_(created)
    {
    }
    ~Win32LogFile() override { CloseHandle(file_); }
    Win32LogFile(const Win32LogFile&) = delete;
    Win32LogFile& operator=(const Win32LogFile&) = delete;

    bool Created() const override { return created_; }

    Result<OpenedFileFacts> Facts() override
    {
        BY_HANDLE_FILE_INFORMATION information;
        if (!GetFileInformationByHandle(file_, &information))
            return Failed{LastError()};
        return OpenedFileFacts{IdentityFrom(information), information.nNumberOfLinks,
            (information.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0};
    }

    Result<bool> VolumeKeepsOwners() override
    {
        // By the handle from Windows Vista on; before, by the volume's root as the path names it.
        using ByHandleFunction = BOOL(WINAPI*)(HANDLE, wchar_t*, DWORD, DWORD*, DWORD*, DWORD*, wchar_t*, DWORD);
        DWORD flags = 0;
        BOOL told = FALSE;
        if (const auto byHandle = OptionalFunction<ByHandleFunction>(Kernel32(), "GetVolumeInformationByHandleW"))
            told = byHandle(file_, nullptr, 0, nullptr, nullptr, &flags, nullptr, 0);
        else
            told = GetVolumeInformationW(RootOf(fullPath_).c_str(), nullptr, 0, nullptr, nullptr, &flags, nullptr, 0);
        if (!told)
            return Failed{LastError()};
        return (flags & FILE_PERSISTENT_ACLS) != 0;
    }

    Result<bool> OnAnotherComputer() override { return GetDriveTypeW(RootOf(fullPath_).c_str()) == DRIVE_REMOTE; }

    Result<FileOwner> Owner() override { return OwnerOf(file_); }

    void RemoveCreated() override { DeleteByHandle(file_); }

    Result<std::uint64_t> Size() override
    {
        BY_HANDLE_FILE_INFORMATION information;
        if (!GetFileInformationByHandle(file_, &information))
            return Failed{LastError()};
        return (std::uint64_t{information.nFileSizeHigh} << 32) | information.nFileSizeLow;
    }

    unsigned long Append(const std::string& bytes) override
    {
        DWORD written = 0;
        if (!WriteFile(file_, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr))
            return LastError();
        return written == bytes.size() ? 0 : ERROR_WRITE_FAULT;
    }

private:
    HANDLE file_;
    std::wstring fullPath_;
    bool created_;
};

} // namespace

FileStepLog::FileStepLog(std::unique_ptr<LogFile> file, bool empty)
    : file_(std::move(file))
    , empty_(empty)
{
}

void FileStepLog::Record(const std::string& line)
{
    const std::string bytes = (empty_ ? "\xEF\xBB\xBF" : "") + LocalTimeText(true) + "  " + line + "\r\n";
    if (file_->Append(bytes) == 0)
        empty_ = false;
}

Result<std::string> Win32LogFiles::FullPath(const std::string& path)
{
    const std::wstring widePath = Widen(path);
    const DWORD size = GetFullPathNameW(widePath.c_str(), 0, nullptr, nullptr);
    std::wstring full(size, L'\0');
    const DWORD length = size == 0 ? 0 : GetFullPathNameW(widePath.c_str(), size, &full[0], nullptr);
    if (length == 0 || length >= size)
        return Failed{LastError()};
    full.resize(length);
    return Narrow(full);
}

bool Win32LogFiles::IsLink(const std::string& path)
{
    const DWORD attributes = GetFileAttributesW(Widen(path).c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
}

Result<std::unique_ptr<LogFile>> Win32LogFiles::OpenForAppend(const std::string& fullPath)
{
    const std::wstring path = Widen(fullPath);
    HANDLE file = CreateFileW(path.c_str(), kLogAccess, kLogSharing, nullptr, OPEN_EXISTING, kLogFlags, nullptr);
    bool created = false;
    if (file == INVALID_HANDLE_VALUE && GetLastError() == ERROR_FILE_NOT_FOUND) {
        // A new log: protected from the start, and with DELETE access so that it can go
        // again, by its handle, if it is refused.
        const SecurityDescriptor newLog(kLogFileSddl);
        if (newLog.get() == nullptr)
            return Failed{LastError()};
        SECURITY_ATTRIBUTES attributes{sizeof attributes, newLog.get(), FALSE};
        file = CreateFileW(path.c_str(), kLogAccess | DELETE, kLogSharing, &attributes, CREATE_NEW, kLogFlags, nullptr);
        created = file != INVALID_HANDLE_VALUE;
    }
    if (file == INVALID_HANDLE_VALUE)
        return Failed{LastError()};
    return std::unique_ptr<LogFile>(std::make_unique<Win32LogFile>(file, path, created));
}

Result<FileIdentity> Win32LogFiles::IdentityOf(const std::string& fullPath)
{
    const HANDLE file = CreateFileW(Widen(fullPath).c_str(), FILE_READ_ATTRIBUTES,
        FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS,
        nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return Failed{LastError()};
    BY_HANDLE_FILE_INFORMATION information;
    const bool told = GetFileInformationByHandle(file, &information) != FALSE;
    const unsigned long error = told ? 0 : LastError();
    CloseHandle(file);
    if (!told)
        return Failed{error};
    return IdentityFrom(information);
}

Result<std::unique_ptr<FileStepLog>> OpenLogFile(const std::string& path)
{
    Win32LogFiles files;
    Result<CheckedLog> checked = OpenCheckedLog(files, path);
    if (!checked)
        return Failed{checked.Error()};
    const Result<std::uint64_t> size = checked->file->Size();
    if (!size)
        return Failed{size.Error()};
    auto log = std::make_unique<FileStepLog>(std::move(checked->file), *size == 0);
    if (checked->identityUnknown)
        log->Record(LogIdentityUnknownLine(path));
    return log;
}

StepLog& ProgramLog()
{
    return *ProgramLogInstance();
}

void LogToFile(const std::string& path)
{
    if (Result<std::unique_ptr<FileStepLog>> log = OpenLogFile(path))
        ProgramLogInstance() = std::move(*log);
}
