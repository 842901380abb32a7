// The program's registry keys under HKEY_LOCAL_MACHINE, in the 32-bit view on 64-bit
// Windows (WOW6432Node) whichever build writes them, where the deployment guide's rules
// look: the detection marker, the Programs and Features entry, and the Application log's
// registration of the program's event source (HKLM\SYSTEM, which has one view). Their
// values are those of staging/Deployment.h. And the Application log itself.
#pragma once

#include "staging/Deployment.h"

#include <windows.h>

#include <string>

// One key, created at its first value and kept open for the next ones.
class MachineKey final : public RegistryKey {
public:
    explicit MachineKey(std::wstring path)
        : path_(std::move(path))
    {
    }
    ~MachineKey() override;
    MachineKey(const MachineKey&) = delete;
    MachineKey& operator=(const MachineKey&) = delete;

    unsigned long SetNumber(const std::string& name, unsigned long value) override;
    unsigned long SetText(const std::string& name, const std::string& value) override;
    unsigned long SetExpandableText(const std::string& name, const std::string& value) override;
    unsigned long RemoveValue(const std::string& name) override;
    std::optional<std::string> ReadText(const std::string& name) override;
    // A REG_DWORD value; nothing when the key or the value is not there.
    std::optional<unsigned long> ReadNumber(const std::string& name) const;
    Result<bool> RemoveAll() override;

private:
    unsigned long Set(const std::string& name, DWORD type, const void* data, DWORD size);
    void Close();

    std::wstring path_;
    HKEY written_ = nullptr; // open once a value has been written
};

// The names the program is known by: its keys' and its event source's.
inline constexpr wchar_t kMarkerKey[] = L"SOFTWARE\\IcCardReaderUsbPreInstall";
inline constexpr wchar_t kProgramsEntryKey[] =
    L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\IcCardReaderUsbPreInstall";
inline constexpr wchar_t kEventSourceName[] = L"IcCardReaderUsbPreInstall";
inline constexpr wchar_t kEventSourceKey[] =
    L"SYSTEM\\CurrentControlSet\\Services\\EventLog\\Application\\IcCardReaderUsbPreInstall";

// The Application log, under the program's event source, registered or not.
class ApplicationLog final : public EventLog {
public:
    unsigned long Report(EventType type, unsigned long id, const std::vector<std::string>& strings) override;
};

// The keys and the Application log.
struct MachineRecords {
    MachineKey marker{kMarkerKey};
    MachineKey programsEntry{kProgramsEntryKey};
    MachineKey eventSource{kEventSourceKey};
    ApplicationLog events;

    operator DeploymentRecords() { return {marker, programsEntry, eventSource}; }
};
