// Windows' INF parser and driver store (setupapi.dll, loaded from the system directory
// for each call, so that a run that needs neither never loads it).
#pragma once

#include "staging/Interfaces.h"

#include <optional>
#include <string>
#include <vector>

// What an INF says of its models and its version, as the parser reads it.
Result<PackageInf> ReadPackageInf(const std::string& infPath);

// Removes the driver package whose INF is `infName` (oemN.inf) from the driver store, with
// SUOI_FORCEDELETE when `force`; 0 or the system's error.
[[nodiscard]] unsigned long UninstallDriverPackage(const std::string& infName, bool force);

// The devices whose driver key names `infName` as their InfPath: all that Windows knows of,
// and those present now.
Result<DeviceUse> DevicesUsing(const std::string& infName);

class Win32DriverStore final : public DriverStore {
public:
    Result<PackageInf> ReadPackageInf(const std::string& infPath) override { return ::ReadPackageInf(infPath); }
    unsigned long UninstallDriverPackage(const std::string& infName, bool force) override
    {
        return ::UninstallDriverPackage(infName, force);
    }
    Result<DeviceUse> DevicesUsing(const std::string& infName) override { return ::DevicesUsing(infName); }
};
