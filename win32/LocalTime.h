// The local time as the log and the detection marker write it.
#pragma once

#include "staging/Deployment.h"

#include <string>

// yyyy-mm-dd hh:mm:ss, with .mmm when `withMilliseconds`.
std::string LocalTimeText(bool withMilliseconds);

class LocalClock final : public Clock {
public:
    std::string LocalTime() override { return LocalTimeText(false); }
};
