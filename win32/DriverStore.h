// Windows' INF parser and driver store (setupapi.dll, loaded from the system directory
// for each call, so that a run that needs neither never loads it).
#pragma once

#include <optional>
#include <string>
#include <vector>

// The TargetOSVersion decorations of each line of an INF's [Manufacturer] section; nothing
// when the INF cannot be read, with the system's error in `error`.
std::optional<std::vector<std::vector<std::string>>> ManufacturerDecorations(
    const std::string& infPath, unsigned long& error);

// Removes the driver package whose INF is `infName` in `infFolder` from the driver store,
// never forced; 0 or the system's error.
unsigned long UninstallDriverPackage(const std::string& infFolder, const std::string& infName);
