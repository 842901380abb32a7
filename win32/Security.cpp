#include "win32/Security.h"

#include "staging/DriverPackage.h"
#include "win32/Errors.h"

#include <aclapi.h>
#include <sddl.h>

namespace {

constexpr wchar_t kStagingFolderSddl[] =
    L"O:BAD:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)(A;OICI;0x1200a9;;;BU)"; // 0x1200a9: read and execute

// Whether `sid` is NT AUTHORITY's SID with these sub-authorities. Built with the calls of
// Windows NT 3.1 (IsWellKnownSid is Windows XP and later).
bool IsNtAuthoritySid(PSID sid, BYTE count, DWORD first, DWORD second = 0)
{
    SID_IDENTIFIER_AUTHORITY ntAuthority = SECURITY_NT_AUTHORITY;
    PSID wellKnown = nullptr;
    if (!AllocateAndInitializeSid(&ntAuthority, count, first, second, 0, 0, 0, 0, 0, 0, &wellKnown))
        return false;
    const bool same = EqualSid(sid, wellKnown) != FALSE;
    FreeSid(wellKnown);
    return same;
}

bool IsLocalSystem(PSID sid)
{
    return IsNtAuthoritySid(sid, 1, SECURITY_LOCAL_SYSTEM_RID);
}

bool IsAdministratorsGroup(PSID sid)
{
    return IsNtAuthoritySid(sid, 2, SECURITY_BUILTIN_DOMAIN_RID, DOMAIN_ALIAS_RID_ADMINS);
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

// Whether `sid` is this computer's account in its domain (DOMAIN\\NAME$): SYSTEM here
// reaches other computers as that account, and a share records it as the owner of what
// SYSTEM creates there. A computer in no domain has no such account.
bool IsThisComputersAccount(PSID sid)
{
    wchar_t name[MAX_COMPUTERNAME_LENGTH + 2];
    DWORD length = MAX_COMPUTERNAME_LENGTH + 1;
    if (!GetComputerNameW(name, &length))
        return false;
    const std::wstring account = std::wstring(name, length) + L"$";
    BYTE computer[SECURITY_MAX_SID_SIZE];
    DWORD computerSize = sizeof computer;
    wchar_t domain[256];
    DWORD domainSize = sizeof domain / sizeof domain[0];
    SID_NAME_USE use;
    return LookupAccountNameW(nullptr, account.c_str(), computer, &computerSize, domain, &domainSize, &use) &&
        EqualSid(sid, computer);
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

Result<FileOwner> OwnerOf(HANDLE object)
{
    PSID owner = nullptr;
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    const DWORD error = GetSecurityInfo(
        object, SE_FILE_OBJECT, OWNER_SECURITY_INFORMATION, &owner, nullptr, nullptr, nullptr, &descriptor);
    if (error != ERROR_SUCCESS)
        return Failed{error};
    const FileOwner kind = IsLocalSystem(owner) || IsAdministratorsGroup(owner) || IsThisProcessUser(owner)
        ? FileOwner::Trusted
        : IsThisComputersAccount(owner) ? FileOwner::ThisComputer
                                        : FileOwner::Other;
    LocalFree(descriptor);
    return kind;
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
