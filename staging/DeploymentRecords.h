// What a deployment leaves for the administrators' tools, each list one table: the
// detection marker's values, the Programs and Features entry's values and the event
// source's registration. The writes, the reads and the removals are made from the tables.
// Portable; all strings are UTF-8.
#pragma once

#include "staging/Interfaces.h"
#include "staging/Places.h"
#include "staging/Uninstall.h"

#include <array>
#include <optional>
#include <string>
#include <variant>

// The named values of one registry key of the machine's (the detection marker, the Programs
// and Features entry, the event source's registration). Each call returns 0 or the
// system's error; removing what is not there is no failure.
class RegistryKey {
public:
    virtual ~RegistryKey() = default;
    [[nodiscard]] virtual unsigned long SetNumber(const std::string& name, unsigned long value) = 0;
    [[nodiscard]] virtual unsigned long SetText(const std::string& name, const std::string& value) = 0;
    // A text with environment variables, expanded by whoever reads it (REG_EXPAND_SZ).
    [[nodiscard]] virtual unsigned long SetExpandableText(const std::string& name, const std::string& value) = 0;
    [[nodiscard]] virtual unsigned long RemoveValue(const std::string& name) = 0;
    // A text value; nothing when the key or the value is not there.
    virtual std::optional<std::string> ReadText(const std::string& name) = 0;
    // Removes the whole key: true when there was one.
    virtual Result<bool> RemoveAll() = 0;
};

// A registry value: a number (REG_DWORD) or a text (REG_SZ).
using RegistryData = std::variant<unsigned long, std::string>;

// What an install run records: its exit code and, when it ran to its end, the setup's;
// after a success, the driver store's copy and what its INF says.
struct InstallRecord {
    std::string programVersion;
    unsigned long exitCode = 0;
    std::optional<unsigned long> setupExitCode;
    std::string localTime; // yyyy-mm-dd hh:mm:ss
    bool succeeded = false;
    RecordedStoreCopy storeCopy;
};

// When the marker holds a value.
enum class MarkerWrite {
    EveryRun,     // each install run that gets past the lock writes it
    AfterSuccess, // a run whose verdict is success writes it; a failed run leaves it
    Last,         // withdrawn when a run begins, written last after a success
};

struct MarkerValue {
    const char* name;
    MarkerWrite write;
    // Its value for a run; nothing: it is removed.
    std::optional<RegistryData> (*of)(const InstallRecord& record);
    // Where an uninstall reads it back to; null when it does not.
    void (*readInto)(RecordedStoreCopy& recorded, std::string value);
};

// HKLM\SOFTWARE\IcCardReaderUsbPreInstall, in the order of the writes.
extern const std::array<MarkerValue, 10> kMarkerValues;
inline constexpr const char* kMarkerInstalled = "Installed";
inline constexpr const char* kMarkerLastExitCode = "LastExitCode";

// Records an install run in the marker (but Installed), each write only while the ones
// before succeeded: 0 or the error.
[[nodiscard]] unsigned long RecordInMarker(RegistryKey& marker, const InstallRecord& record);

// The driver-store copy the marker records; empty parts where it has none.
RecordedStoreCopy ReadRecordedStoreCopy(RegistryKey& marker);

// What the Programs and Features entry shows of an install.
struct EntryFacts {
    const Places& places;
    PackageInf inf;
    std::string localTime;       // yyyy-mm-dd hh:mm:ss
    unsigned long kilobytes = 0; // in the staging folder
};

struct EntryValue {
    const char* name;
    RegistryData (*of)(const EntryFacts& facts);
};

// HKLM\SOFTWARE\Microsoft\Windows\CurrentVersion\Uninstall\IcCardReaderUsbPreInstall,
// whose uninstall is the kept copy's, in the order of the writes.
extern const std::array<EntryValue, 11> kEntryValues;

// Writes the entry, each value only while the ones before succeeded: 0 or the error.
[[nodiscard]] unsigned long WriteProgramsEntry(RegistryKey& entry, const EntryFacts& facts);

// Registers the event source, whose messages are the kept copy's message table (HKLM\SYSTEM
// \CurrentControlSet\Services\EventLog\Application\IcCardReaderUsbPreInstall): 0 or the error.
[[nodiscard]] unsigned long RegisterEventSource(RegistryKey& source, const std::string& keptCopy);
