#include "staging/InfModels.h"

#include "staging/Ascii.h"
#include "staging/Texts.h"

#include <algorithm>
#include <tuple>
#include <utility>

namespace {

// The first build that reads a decoration's build field: Windows 10 version 1607.
constexpr unsigned long kFirstBuildReadingBuilds = 14310;

// A field in decimal or 0x hexadecimal; nothing for an empty one; false when it is no number.
bool ReadNumber(const std::string& field, std::optional<unsigned long>& number)
{
    number.reset();
    if (field.empty())
        return true;
    const bool hexadecimal = field.size() > 2 && field[0] == '0' && LowerAscii(field[1]) == 'x';
    const std::string digits = hexadecimal ? field.substr(2) : field;
    const char* allowed = hexadecimal ? "0123456789abcdefABCDEF" : "0123456789";
    if (digits.empty() || digits.size() > 8 || digits.find_first_not_of(allowed) != std::string::npos)
        return false;
    unsigned long value = 0;
    for (const char digit : digits) {
        const char lower = LowerAscii(digit);
        value =
            value * (hexadecimal ? 16 : 10) + static_cast<unsigned long>(lower >= 'a' ? lower - 'a' + 10 : lower - '0');
    }
    number = value;
    return true;
}

std::vector<std::string> Fields(const std::string& text)
{
    std::vector<std::string> fields;
    std::size_t start = 0;
    for (std::size_t dot; (dot = text.find('.', start)) != std::string::npos; start = dot + 1)
        fields.push_back(text.substr(start, dot - start));
    fields.push_back(text.substr(start));
    return fields;
}

bool IsWindows2000OrOlder(const RunningWindows& windows)
{
    return windows.major < 5 || (windows.major == 5 && windows.minor == 0);
}

bool ArchitectureFits(const Decoration& decoration, const RunningWindows& windows)
{
    const std::string machine = LowerAscii(windows.architecture);
    return decoration.architecture.empty() ? machine == "x86" : decoration.architecture == machine;
}

bool ReadsBuildNumbers(const RunningWindows& windows)
{
    return std::make_pair(windows.major, windows.minor) > std::make_pair(10ul, 0ul) ||
        (windows.major == 10 && windows.minor == 0 && windows.build >= kFirstBuildReadingBuilds);
}

// How closely a decoration that fits matches this Windows, as a key that sorts the closest last.
std::tuple<unsigned long, unsigned long, unsigned long, int> Closeness(const Decoration& decoration)
{
    const int named =
        !decoration.architecture.empty() + decoration.productType.has_value() + decoration.suiteMask.has_value();
    return {decoration.major.value_or(0), decoration.minor.value_or(0), decoration.build.value_or(0), named};
}

} // namespace

std::optional<Decoration> ReadDecoration(const std::string& text)
{
    const std::vector<std::string> fields = Fields(text);
    const std::string platform = LowerAscii(fields[0]);
    if (fields.size() > 6 || platform.rfind("nt", 0) != 0)
        return std::nullopt;
    Decoration decoration;
    decoration.architecture = platform.substr(2);
    std::optional<unsigned long>* numbers[] = {
        &decoration.major, &decoration.minor, &decoration.productType, &decoration.suiteMask, &decoration.build};
    for (std::size_t index = 1; index < fields.size(); ++index)
        if (!ReadNumber(fields[index], *numbers[index - 1]))
            return std::nullopt;
    return decoration;
}

bool DecorationFits(const Decoration& decoration, const RunningWindows& windows)
{
    if (IsWindows2000OrOlder(windows) || !ArchitectureFits(decoration, windows))
        return false;
    const auto version = std::make_pair(decoration.major.value_or(0), decoration.minor.value_or(0));
    const auto running = std::make_pair(windows.major, windows.minor);
    if (running < version)
        return false;
    if (decoration.productType && *decoration.productType != windows.productType)
        return false;
    if (decoration.suiteMask && (windows.suiteMask & *decoration.suiteMask) != *decoration.suiteMask)
        return false;
    if (decoration.build) {
        // Earlier builds do not parse the field, and take no section that has one.
        if (!ReadsBuildNumbers(windows))
            return false;
        if (running == version && windows.build < *decoration.build)
            return false;
    }
    return true;
}

std::optional<ModelsSection> ChosenSection(const ManufacturerModels& line, const RunningWindows& windows)
{
    std::optional<ModelsSection> chosen;
    std::tuple<unsigned long, unsigned long, unsigned long, int> chosenCloseness{};
    for (const ModelsSection& section : line.decorated) {
        const std::optional<Decoration> decoration = ReadDecoration(section.decoration);
        if (!decoration || !DecorationFits(*decoration, windows))
            continue;
        const auto closeness = Closeness(*decoration);
        if (!chosen || closeness > chosenCloseness) {
            chosen = section;
            chosenCloseness = closeness;
        }
    }
    if (!chosen && LowerAscii(windows.architecture) == "x86")
        chosen = ModelsSection{"", line.undecoratedModels};
    return chosen;
}

std::string SectionName(const ManufacturerModels& line, const ModelsSection& section)
{
    return section.decoration.empty() ? line.section : line.section + "." + section.decoration;
}

ModelsFit FitOfModels(const std::vector<ManufacturerModels>& manufacturers, const RunningWindows& windows)
{
    bool forThisArchitecture = false;
    for (const ManufacturerModels& line : manufacturers) {
        if (const std::optional<ModelsSection> chosen = ChosenSection(line, windows); chosen && chosen->models > 0)
            return ModelsFit::Fits;
        for (const ModelsSection& section : line.decorated)
            if (const std::optional<Decoration> decoration = ReadDecoration(section.decoration))
                forThisArchitecture = forThisArchitecture || ArchitectureFits(*decoration, windows);
    }
    return forThisArchitecture ? ModelsFit::NotForThisVersion : ModelsFit::NotForThisArchitecture;
}

std::vector<std::string> DeclaredModels(const std::vector<ManufacturerModels>& manufacturers)
{
    std::vector<std::string> declared;
    const auto add = [&declared](const std::string& model) {
        if (std::find(declared.begin(), declared.end(), model) == declared.end())
            declared.push_back(model);
    };
    for (const ManufacturerModels& line : manufacturers) {
        for (const ModelsSection& section : line.decorated)
            add(section.decoration);
        if (line.undecoratedModels > 0)
            add(kUndecoratedTarget);
    }
    return declared;
}
