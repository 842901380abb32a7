// The local time as the log and the detection marker write it, and the clock of the waits.
#pragma once

#include "staging/Interfaces.h"

#include <string>

// yyyy-mm-dd hh:mm:ss, with .mmm when `withMilliseconds`.
std::string LocalTimeText(bool withMilliseconds);

class Win32Clock final : public Clock {
public:
    std::uint32_t MillisecondsNow() override;
    std::string LocalTime() override { return LocalTimeText(false); }
};
