// The detection marker in the registry: HKEY_LOCAL_MACHINE\SOFTWARE\IcCardReaderUsbPreInstall
// in the 32-bit view on 64-bit Windows (WOW6432Node), whichever build writes it. Its values
// are those of staging/Deployment.h.
#pragma once

#include "staging/Deployment.h"

class RegistryMarker final : public DetectionMarker {
public:
    unsigned long SetNumber(const std::string& name, unsigned long value) override;
    unsigned long SetText(const std::string& name, const std::string& value) override;
    unsigned long RemoveValue(const std::string& name) override;
    std::optional<std::string> ReadText(const std::string& name) override;
    unsigned long RemoveAll(bool& removed) override;
};
