#include "win32/Files.h"

#include "staging/Paths.h"
#include "win32/Errors.h"
#include "win32/Security.h"
#include "win32/Sha256.h"
#include "win32/Text.h"

namespace {

bool IsDirectory(const std::wstring& path)
{
    const DWORD attributes = GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

// A file opened so that others may read it but not write, rename or delete it.
class Win32HeldFile final : public HeldFile {
public:
    explicit Win32HeldFile(HANDLE file)
        : file_(file)
    {
    }
    ~Win32HeldFile() override { CloseHandle(file_); }
    Win32HeldFile(const Win32HeldFile&) = delete;
    Win32HeldFile& operator=(const Win32HeldFile&) = delete;

    Result<std::string> Sha256() override
    {
        std::string sha256;
        if (const unsigned long error = Sha256OfFile(file_, sha256))
            return Failed{error};
        return sha256;
    }

private:
    HANDLE file_;
};

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

bool Win32Files::FileExists(const std::string& path)
{
    const DWORD attributes = GetFileAttributesW(Widen(path).c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

PathKind Win32Files::KindOfPath(const std::string& path)
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

Result<std::uint64_t> Win32Files::FileSize(const std::string& path)
{
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!GetFileAttributesExW(Widen(path).c_str(), GetFileExInfoStandard, &data))
        return Failed{LastError()};
    return (std::uint64_t{data.nFileSizeHigh} << 32) | data.nFileSizeLow;
}

Result<std::string> Win32Files::WindowsDirectory()
{
    // The first call gives the size with the terminator; the second fills the buffer, or
    // fails when the answer no longer fits.
    const UINT size = GetWindowsDirectoryW(nullptr, 0);
    if (size == 0)
        return Failed{LastError()};
    std::wstring buffer(size + 1, L'\0');
    const UINT length = GetWindowsDirectoryW(buffer.data(), size + 1);
    if (length == 0)
        return Failed{LastError()};
    if (length > size)
        return Failed{ERROR_INSUFFICIENT_BUFFER};
    buffer.resize(length);
    return Narrow(buffer);
}

Result<bool> Win32Files::MakeDirectory(const std::string& path)
{
    const std::wstring widePath = Widen(path);
    if (CreateDirectoryW(widePath.c_str(), nullptr))
        return true;
    const unsigned long error = LastError();
    if (error == ERROR_ALREADY_EXISTS && IsDirectory(widePath))
        return false;
    return Failed{error};
}

unsigned long Win32Files::ProtectFolder(const std::string& path)
{
    return ::ProtectFolder(Widen(path));
}

unsigned long Win32Files::CopyToNewFile(const std::string& from, const std::string& to)
{
    // A new file only: a name that appears meanwhile makes the copy fail, not follow it.
    return CopyFileW(Widen(from).c_str(), Widen(to).c_str(), TRUE) ? 0 : LastError();
}

unsigned long Win32Files::Rename(const std::string& from, const std::string& to)
{
    // Without MOVEFILE_REPLACE_EXISTING nothing at `to` is replaced; a link is renamed itself.
    return MoveFileExW(Widen(from).c_str(), Widen(to).c_str(), 0) ? 0 : LastError();
}

unsigned long Win32Files::RemoveFile(const std::string& path)
{
    const std::wstring widePath = Widen(path);
    // A link to a folder is removed as a folder would be; that takes the link, not its target.
    if (IsDirectory(widePath))
        return RemoveDirectoryW(widePath.c_str()) ? 0 : LastError();
    MakeReplaceable(widePath);
    return DeleteFileW(widePath.c_str()) ? 0 : LastError();
}

unsigned long Win32Files::RemoveEmptyFolder(const std::string& folder)
{
    const std::wstring path = Widen(folder);
    const DWORD attributes = GetFileAttributesW(path.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY) != 0)
        SetFileAttributesW(path.c_str(), attributes & ~FILE_ATTRIBUTE_READONLY);
    return RemoveDirectoryW(path.c_str()) ? 0 : LastError();
}

unsigned long Win32Files::RemoveAtRestart(const std::string& path)
{
    const std::wstring widePath = Widen(path);
    MakeReplaceable(widePath);
    return MoveFileExW(widePath.c_str(), nullptr, MOVEFILE_DELAY_UNTIL_REBOOT) ? 0 : LastError();
}

Result<std::vector<std::string>> Win32Files::ListFolder(const std::string& folder)
{
    WIN32_FIND_DATAW found;
    const HANDLE search = FindFirstFileW((Widen(EnsureTrailingBackslash(folder)) + L"*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE)
        return Failed{LastError()};
    std::vector<std::string> names;
    do {
        const std::wstring name = found.cFileName;
        if (name != L"." && name != L"..")
            names.push_back(Narrow(name));
    } while (FindNextFileW(search, &found));
    const unsigned long error = GetLastError() == ERROR_NO_MORE_FILES ? 0 : LastError();
    FindClose(search);
    if (error != 0)
        return Failed{error};
    return names;
}

Result<std::string> Win32Files::ReadFileBytes(const std::string& path)
{
    const HANDLE file = CreateFileW(Widen(path).c_str(), GENERIC_READ,
        FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return Failed{LastError()};
    std::string bytes;
    char buffer[65536];
    DWORD got = 0;
    BOOL read = FALSE;
    while ((read = ReadFile(file, buffer, sizeof buffer, &got, nullptr)) && got > 0)
        bytes.append(buffer, got);
    const unsigned long error = read ? 0 : LastError();
    CloseHandle(file);
    if (error != 0)
        return Failed{error};
    return bytes;
}

Result<std::unique_ptr<HeldFile>> Win32Files::HoldFile(const std::string& path)
{
    // Shared for reading only: nobody writes, renames or deletes it while it is held.
    const HANDLE file = CreateFileW(Widen(path).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
        FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return Failed{LastError()};
    return std::unique_ptr<HeldFile>(std::make_unique<Win32HeldFile>(file));
}
