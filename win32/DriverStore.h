// Windows' INF parser and driver store (setupapi.dll, loaded from the system directory
// for each call, so that a run that needs neither never loads it).
#pragma once

#include "staging/Operations.h"

#include <optional>
#include <string>
#include <vector>

// What an INF says of its models and its version; nothing when it cannot be read, with the
// parser's error in `error`.
std::optional<PackageInf> ReadPackageInf(const std::string& infPath, unsigned long& error);

// Removes the driver package whose INF is `infName` in `infFolder` from the driver store,
// never forced; 0 or the system's error.
unsigned long UninstallDriverPackage(const std::string& infFolder, const std::string& infName);
