// What keeps the program, run as SYSTEM or an administrator, from writing where an
// ordinary user points it: protected security descriptors for what it creates, and who
// owns what it writes into.
#pragma once

#include "staging/CheckedLog.h"

#include <windows.h>

#include <string>

// A security descriptor built from its SDDL text; nullptr in get() when that failed.
class SecurityDescriptor {
public:
    explicit SecurityDescriptor(const wchar_t* sddl);
    ~SecurityDescriptor();
    SecurityDescriptor(const SecurityDescriptor&) = delete;
    SecurityDescriptor& operator=(const SecurityDescriptor&) = delete;
    PSECURITY_DESCRIPTOR get() const { return descriptor_; }

private:
    PSECURITY_DESCRIPTOR descriptor_ = nullptr;
};

// A new log: SYSTEM and Administrators full control, Users read; nothing inherited.
inline constexpr wchar_t kLogFileSddl[] = L"D:P(A;;FA;;;SY)(A;;FA;;;BA)(A;;FR;;;BU)";

// Who owns `object`: SYSTEM, the Administrators group or this process's user; this
// computer's account in its domain; or anyone else.
Result<FileOwner> OwnerOf(HANDLE object);

// Gives an existing folder (never the target of a link at `path`) the Administrators group
// as owner and a protected DACL: SYSTEM and Administrators full control, Users read and
// execute, inherited by what is created in it. ERROR_REPARSE_POINT_ENCOUNTERED for a link.
[[nodiscard]] unsigned long ProtectFolder(const std::wstring& path);
