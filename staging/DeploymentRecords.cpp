#include "staging/DeploymentRecords.h"

#include "staging/Texts.h"

namespace {

unsigned long Write(RegistryKey& key, const char* name, const RegistryData& value)
{
    if (const unsigned long* number = std::get_if<unsigned long>(&value))
        return key.SetNumber(name, *number);
    return key.SetText(name, std::get<std::string>(value));
}

std::optional<RegistryData> Number(unsigned long number)
{
    return RegistryData(number);
}

std::optional<RegistryData> Text(const std::string& text)
{
    return RegistryData(text);
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
    {kMarkerInstalled, MarkerWrite::Last, [](const InstallRecord&) { return Number(1); }, nullptr},
    {"Version", MarkerWrite::EveryRun, [](const InstallRecord& r) { return Text(r.programVersion); }, nullptr},
    {kMarkerLastExitCode, MarkerWrite::EveryRun, [](const InstallRecord& r) { return Number(r.exitCode); }, nullptr},
    {"SetupExitCode", MarkerWrite::EveryRun,
        [](const InstallRecord& r) { return r.setupExitCode ? Number(*r.setupExitCode) : std::nullopt; }, nullptr},
    {"LastRun", MarkerWrite::EveryRun, [](const InstallRecord& r) { return Text(r.localTime); }, nullptr},
    {"DriverStoreInf", MarkerWrite::AfterSuccess, [](const InstallRecord& r) { return Text(r.storeCopy.name); },
        [](RecordedStoreCopy& c, std::string value) { c.name = std::move(value); }},
    {"DriverVersion", MarkerWrite::AfterSuccess,
        [](const InstallRecord& r) { return Text(r.storeCopy.inf.driverVersion); },
        [](RecordedStoreCopy& c, std::string value) { c.inf.driverVersion = std::move(value); }},
    {"DriverDate", MarkerWrite::AfterSuccess, [](const InstallRecord& r) { return Text(r.storeCopy.inf.driverDate); },
        [](RecordedStoreCopy& c, std::string value) { c.inf.driverDate = std::move(value); }},
    {"DriverProvider", MarkerWrite::AfterSuccess, [](const InstallRecord& r) { return Text(r.storeCopy.inf.provider); },
        [](RecordedStoreCopy& c, std::string value) { c.inf.provider = std::move(value); }},
    {"DriverClassGuid", MarkerWrite::AfterSuccess,
        [](const InstallRecord& r) { return Text(r.storeCopy.inf.classGuid); },
        [](RecordedStoreCopy& c, std::string value) { c.inf.classGuid = std::move(value); }},
}};

unsigned long RecordInMarker(RegistryKey& marker, const InstallRecord& record)
{
    for (const MarkerValue& value : kMarkerValues) {
        if (value.write == MarkerWrite::Last || (value.write == MarkerWrite::AfterSuccess && !record.succeeded))
            continue;
        const std::optional<RegistryData> data = value.of(record);
        if (const unsigned long error = data ? Write(marker, value.name, *data) : marker.RemoveValue(value.name))
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
    {"DisplayName", [](const EntryFacts& f) -> RegistryData { return ProgramsEntryName(f.inf.provider); }},
    {"DisplayVersion", [](const EntryFacts& f) -> RegistryData { return f.inf.driverVersion; }},
    {"Publisher", [](const EntryFacts& f) -> RegistryData { return f.inf.provider; }},
    {"InstallLocation", [](const EntryFacts& f) -> RegistryData { return f.places.stagingFolder; }},
    {"DisplayIcon", [](const EntryFacts& f) -> RegistryData { return f.places.keptCopy; }},
    {"InstallDate", [](const EntryFacts& f) -> RegistryData { return InstallDate(f.localTime); }},
    {"UninstallString", [](const EntryFacts& f) -> RegistryData { return UninstallCommand(f.places); }},
    {"QuietUninstallString", [](const EntryFacts& f) -> RegistryData { return UninstallCommand(f.places) + " /S"; }},
    {"EstimatedSize", [](const EntryFacts& f) { return RegistryData(f.kilobytes); }},
    {"NoModify", [](const EntryFacts&) { return RegistryData(1ul); }},
    {"NoRepair", [](const EntryFacts&) { return RegistryData(1ul); }},
}};

unsigned long WriteProgramsEntry(RegistryKey& entry, const EntryFacts& facts)
{
    for (const EntryValue& value : kEntryValues)
        if (const unsigned long error = Write(entry, value.name, value.of(facts)))
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
