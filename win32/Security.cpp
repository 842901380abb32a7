#include "win32/Security.h"

#include "staging/DriverPackage.h"
#include "win32/Errors.h"
#include "win32/OptionalFunction.h"

#include <aclapi.h>
#include <sddl.h>

namespace {

constexpr wchar_t kStagingFolderSddl[] =
    L"O:BAD:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)(A;OICI;0x1200a9;;;BU)"; // 0x1200a9: read and execute

// Where the path's fixed part ends: after "C:\" or "\\server\share\".
std::size_t RootLength(const std::wstring& path)
{
    if (path.rfind(L"\\\\", 0) != 0)
        return path.size() >= 3 && path[1] == L':' ? 3 : path.size();
    const std::size_t server = path.find(L'\\', 2);
    const std::size_t share = server == std::wstring::npos ? server : path.find(L'\\', server + 1);
    return share == std::wstring::npos ? path.size() : share + 1;
}

// "\\?\C:\x" and "\\?\UNC\server\x" as "C:\x" and "\\server\x".
std::wstring WithoutLongPathPrefix(const std::wstring& path)
{
    if (path.rfind(L"\\\\?\\UNC\\", 0) == 0)
        return L"\\" + path.substr(7);
    if (path.rfind(L"\\\\?\\", 0) == 0)
        return path.substr(4);
    return path;
}

std::wstring LongPath(const std::wstring& path)
{
    const DWORD size = GetLongPathNameW(path.c_str(), nullptr, 0);
    std::wstring result(size, L'\0');
    const DWORD length = size == 0 ? 0 : GetLongPathNameW(path.c_str(), &result[0], size);
    return length == 0 || length >= size ? path : result.substr(0, length);
}

using GetFinalPathNameByHandleFunction = DWORD(WINAPI*)(HANDLE, LPWSTR, DWORD, DWORD);

// Where `file` really is, as Windows resolves every link on its way; nothing where Windows
// cannot tell (before Vista).
bool FinalPath(HANDLE file, std::wstring& path)
{
    static const auto getFinalPath =
        OptionalFunction<GetFinalPathNameByHandleFunction>(Kernel32(), "GetFinalPathNameByHandleW");
    if (getFinalPath == nullptr)
        return false;
    const DWORD size = getFinalPath(file, nullptr, 0, 0);
    path.assign(size, L'\0');
    const DWORD length = size == 0 ? 0 : getFinalPath(file, &path[0], size, 0);
    path.resize(length < size ? length : 0);
    return true;
}

bool IsWellKnown(PSID sid, WELL_KNOWN_SID_TYPE type)
{
    return IsWellKnownSid(sid, type) != FALSE;
}

bool IsThisProcessUser(PSID sid)
{
    HANDLE token = nullptr;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token))
        return false;
    DWORD size = 0;
    GetTokenInformation(token, TokenUser, nullptr, 0, &size);
    std::string buffer(size, '\0');
    const bool same = size != 0 && GetTokenInformation(token, TokenUser, &buffer[0], size, &size) &&
        EqualSid(reinterpret_cast<TOKEN_USER*>(&buffer[0])->User.Sid, sid);
    CloseHandle(token);
    return same;
}

// Sets the owner and DACL that `descriptor` holds on `object`, the DACL protected from
// what its parent would pass on.
unsigned long SetOwnerAndProtectedDacl(HANDLE object, PSECURITY_DESCRIPTOR descriptor)
{
    PSID owner = nullptr;
    PACL dacl = nullptr;
    BOOL defaulted = FALSE;
    BOOL present = FALSE;
    if (!GetSecurityDescriptorOwner(descriptor, &owner, &defaulted) ||
        !GetSecurityDescriptorDacl(descriptor, &present, &dacl, &defaulted))
        return LastError();
    return SetSecurityInfo(object, SE_FILE_OBJECT,
        OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION | PROTECTED_DACL_SECURITY_INFORMATION, owner, nullptr,
        dacl, nullptr);
}

} // namespace

SecurityDescriptor::SecurityDescriptor(const wchar_t* sddl)
{
    if (!ConvertStringSecurityDescriptorToSecurityDescriptorW(sddl, SDDL_REVISION_1, &descriptor_, nullptr))
        descriptor_ = nullptr;
}

SecurityDescriptor::~SecurityDescriptor()
{
    LocalFree(descriptor_);
}

std::wstring FullPath(const std::wstring& path)
{
    const DWORD size = GetFullPathNameW(path.c_str(), 0, nullptr, nullptr);
    std::wstring full(size, L'\0');
    const DWORD length = size == 0 ? 0 : GetFullPathNameW(path.c_str(), size, &full[0], nullptr);
    return length == 0 || length >= size ? std::wstring() : full.substr(0, length);
}

unsigned long CheckNoLinkAbove(const std::wstring& fullPath)
{
    for (std::size_t end = fullPath.find(L'\\', RootLength(fullPath)); end != std::wstring::npos;
         end = fullPath.find(L'\\', end + 1)) {
        const DWORD attributes = GetFileAttributesW(fullPath.substr(0, end).c_str());
        if (attributes == INVALID_FILE_ATTRIBUTES)
            return 0; // nothing to follow: opening the file fails there
        if ((attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0)
            return kErrorReparsePointEncountered;
    }
    return 0;
}

unsigned long CheckOwnFile(HANDLE file, const std::wstring& fullPath)
{
    BY_HANDLE_FILE_INFORMATION information;
    if (!GetFileInformationByHandle(file, &information))
        return LastError();
    if ((information.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0)
        return kErrorReparsePointEncountered;
    if (information.nNumberOfLinks != 1)
        return ERROR_TOO_MANY_LINKS;
    std::wstring finalPath;
    if (FinalPath(file, finalPath) &&
        (finalPath.empty() || lstrcmpiW(WithoutLongPathPrefix(finalPath).c_str(), LongPath(fullPath).c_str()) != 0))
        return kErrorReparsePointEncountered;
    return 0;
}

unsigned long CheckTrustedOwner(HANDLE object)
{
    PSID owner = nullptr;
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    const DWORD error = GetSecurityInfo(
        object, SE_FILE_OBJECT, OWNER_SECURITY_INFORMATION, &owner, nullptr, nullptr, nullptr, &descriptor);
    if (error != ERROR_SUCCESS)
        return error;
    const bool trusted = IsWellKnown(owner, WinLocalSystemSid) || IsWellKnown(owner, WinBuiltinAdministratorsSid) ||
        IsThisProcessUser(owner);
    LocalFree(descriptor);
    return trusted ? 0 : ERROR_INVALID_OWNER;
}

unsigned long ProtectFolder(const std::wstring& path)
{
    const SecurityDescriptor protectedFolder(kStagingFolderSddl);
    if (protectedFolder.get() == nullptr)
        return LastError();
    // Wine shows a Unix link as one only in the path's attributes, not in the handle's.
    const DWORD attributes = GetFileAttributesW(path.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0)
        return kErrorReparsePointEncountered;
    const HANDLE folder = CreateFileW(path.c_str(), READ_CONTROL | WRITE_DAC | WRITE_OWNER | FILE_READ_ATTRIBUTES,
        FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
        FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (folder == INVALID_HANDLE_VALUE)
        return LastError();
    BY_HANDLE_FILE_INFORMATION information;
    unsigned long error = GetFileInformationByHandle(folder, &information) ? 0 : LastError();
    if (error == 0 && (information.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0)
        error = kErrorReparsePointEncountered;
    if (error == 0)
        error = SetOwnerAndProtectedDacl(folder, protectedFolder.get());
    CloseHandle(folder);
    return error;
}
