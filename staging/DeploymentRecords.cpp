#include "staging/DeploymentRecords.h"

#include "staging/Texts.h"

namespace {

std::optional<std::string> Decimal(unsigned long number)
{
    return std::to_string(number);
}

unsigned long Write(RegistryKey& key, const char* name, ValueType type, const std::string& value)
{
    return type == ValueType::Number ? key.SetNumber(name, std::stoul(value)) : key.SetText(name, value);
}

// "2026-12-09 13:00:00" as Programs and Features' yyyymmdd.
std::string InstallDate(const std::string& localTime)
{
    std::string date;
    for (const char character : localTime.substr(0, 10))
        if (character != '-')
            date += character;
    return date;
}

std::string UninstallCommand(const Places& places)
{
    return "\"" + places.keptCopy + "\" /UNINSTALL";
}

} // namespace

const std::array<MarkerValue, 10> kMarkerValues{{
    {kMarkerInstalled, ValueType::Number, MarkerWrite::Last, [](const InstallRecord&) { return Decimal(1); }, nullptr},
    {"Version", ValueType::Text, MarkerWrite::EveryRun,
        [](const InstallRecord& r) { return std::optional(r.programVersion); }, nullptr},
    {kMarkerLastExitCode, ValueType::Number, MarkerWrite::EveryRun,
        [](const InstallRecord& r) { return Decimal(r.exitCode); }, nullptr},
    {"SetupExitCode", ValueType::Number, MarkerWrite::EveryRun,
        [](const InstallRecord& r) { return r.setupExitCode ? Decimal(*r.setupExitCode) : std::nullopt; }, nullptr},
    {"LastRun", ValueType::Text, MarkerWrite::EveryRun,
        [](const InstallRecord& r) { return std::optional(r.localTime); }, nullptr},
    {"DriverStoreInf", ValueType::Text, MarkerWrite::AfterSuccess,
        [](const InstallRecord& r) { return std::optional(r.storeCopy.name); },
        [](RecordedStoreCopy& c, std::string value) { c.name = std::move(value); }},
    {"DriverVersion", ValueType::Text, MarkerWrite::AfterSuccess,
        [](const InstallRecord& r) { return std::optional(r.storeCopy.inf.driverVersion); },
        [](RecordedStoreCopy& c, std::string value) { c.inf.driverVersion = std::move(value); }},
    {"DriverDate", ValueType::Text, MarkerWrite::AfterSuccess,
        [](const InstallRecord& r) { return std::optional(r.storeCopy.inf.driverDate); },
        [](RecordedStoreCopy& c, std::string value) { c.inf.driverDate = std::move(value); }},
    {"DriverProvider", ValueType::Text, MarkerWrite::AfterSuccess,
        [](const InstallRecord& r) { return std::optional(r.storeCopy.inf.provider); },
        [](RecordedStoreCopy& c, std::string value) { c.inf.provider = std::move(value); }},
    {"DriverClassGuid", ValueType::Text, MarkerWrite::AfterSuccess,
        [](const InstallRecord& r) { return std::optional(r.storeCopy.inf.classGuid); },
        [](RecordedStoreCopy& c, std::string value) { c.inf.classGuid = std::move(value); }},
}};

unsigned long RecordInMarker(RegistryKey& marker, const InstallRecord& record)
{
    for (const MarkerValue& value : kMarkerValues) {
        if (value.write == MarkerWrite::Last || (value.write == MarkerWrite::AfterSuccess && !record.succeeded))
            continue;
        const std::optional<std::string> text = value.of(record);
        if (const unsigned long error =
                text ? Write(marker, value.name, value.type, *text) : marker.RemoveValue(value.name))
            return error;
    }
    return 0;
}

RecordedStoreCopy ReadRecordedStoreCopy(RegistryKey& marker)
{
    RecordedStoreCopy recorded;
    for (const MarkerValue& value : kMarkerValues)
        if (value.readInto != nullptr)
            value.readInto(recorded, marker.ReadText(value.name).value_or(""));
    return recorded;
}

const std::array<EntryValue, 11> kEntryValues{{
    {"DisplayName", ValueType::Text, [](const EntryFacts& f) { return ProgramsEntryName(f.inf.provider); }},
    {"DisplayVersion", ValueType::Text, [](const EntryFacts& f) { return f.inf.driverVersion; }},
    {"Publisher", ValueType::Text, [](const EntryFacts& f) { return f.inf.provider; }},
    {"InstallLocation", ValueType::Text, [](const EntryFacts& f) { return f.places.stagingFolder; }},
    {"DisplayIcon", ValueType::Text, [](const EntryFacts& f) { return f.places.keptCopy; }},
    {"InstallDate", ValueType::Text, [](const EntryFacts& f) { return InstallDate(f.localTime); }},
    {"UninstallString", ValueType::Text, [](const EntryFacts& f) { return UninstallCommand(f.places); }},
    {"QuietUninstallString", ValueType::Text, [](const EntryFacts& f) { return UninstallCommand(f.places) + " /S"; }},
    {"EstimatedSize", ValueType::Number, [](const EntryFacts& f) { return std::to_string(f.kilobytes); }},
    {"NoModify", ValueType::Number, [](const EntryFacts&) { return std::string("1"); }},
    {"NoRepair", ValueType::Number, [](const EntryFacts&) { return std::string("1"); }},
}};

unsigned long WriteProgramsEntry(RegistryKey& entry, const EntryFacts& facts)
{
    for (const EntryValue& value : kEntryValues)
        if (const unsigned long error = Write(entry, value.name, value.type, value.of(facts)))
            return error;
    return 0;
}

unsigned long RegisterEventSource(RegistryKey& source, const std::string& keptCopy)
{
    constexpr unsigned long kAllEventTypes = 7; // error, warning, information
    if (const unsigned long error = source.SetExpandableText("EventMessageFile", keptCopy))
        return error;
    return source.SetNumber("TypesSupported", kAllEventTypes);
}
