#include "win32/Files.h"

#include "staging/Paths.h"
#include "win32/Errors.h"
#include "win32/Text.h"

#include <windows.h>

namespace {

bool IsDirectory(const std::wstring& path)
{
    const DWORD attributes = GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
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

bool FileExists(const std::string& path)
{
    const DWORD attributes = GetFileAttributesW(Widen(path).c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

std::optional<std::uint64_t> FileSize(const std::string& path)
{
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!GetFileAttributesExW(Widen(path).c_str(), GetFileExInfoStandard, &data))
        return std::nullopt;
    return (std::uint64_t{data.nFileSizeHigh} << 32) | data.nFileSizeLow;
}

unsigned long MakeDirectory(const std::string& path, bool& created)
{
    const std::wstring widePath = Widen(path);
    created = CreateDirectoryW(widePath.c_str(), nullptr) != FALSE;
    if (created)
        return 0;
    const unsigned long error = LastError();
    return error == ERROR_ALREADY_EXISTS && IsDirectory(widePath) ? 0 : error;
}

unsigned long ReplaceWithCopy(const std::string& from, const std::string& to)
{
    // Written in place, a file that is a hard link would change under all its names, and a
    // symbolic link would be written through.
    if (KindOfPath(to) != PathKind::Missing)
        if (const unsigned long error = RemoveFile(to))
            return error;
    // A new file only: a name that appears meanwhile makes the copy fail, not follow it.
    return CopyFileW(Widen(from).c_str(), Widen(to).c_str(), TRUE) ? 0 : LastError();
}

PathKind KindOfPath(const std::string& path)
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

std::optional<std::vector<std::string>> ListFolder(const std::string& folder, unsigned long& error)
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

std::optional<std::string> ReadFileBytes(const std::string& path)
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

unsigned long RemoveFile(const std::string& path)
{
    const std::wstring widePath = Widen(path);
    // A link to a folder is removed as a folder would be; that takes the link, not its target.
    const DWORD attributes = GetFileAttributesW(widePath.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0)
        return RemoveDirectoryW(widePath.c_str()) ? 0 : LastError();
    MakeReplaceable(widePath);
    return DeleteFileW(widePath.c_str()) ? 0 : LastError();
}

unsigned long RemoveEmptyFolder(const std::string& folder)
{
    const std::wstring path = Widen(folder);
    const DWORD attributes = GetFileAttributesW(path.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY) != 0)
        SetFileAttributesW(path.c_str(), attributes & ~FILE_ATTRIBUTE_READONLY);
    return RemoveDirectoryW(path.c_str()) ? 0 : LastError();
}

void DeleteIfPresent(const std::wstring& path)
{
    if (GetFileAttributesW(path.c_str()) == INVALID_FILE_ATTRIBUTES)
        return;
    MakeReplaceable(path);
    DeleteFileW(path.c_str());
}
