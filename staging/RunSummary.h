// What a run comes to: the last line of its log and the insertion strings of its event.
#pragma once

#include <optional>
#include <string>

struct RunSummary {
    unsigned long exitCode = 0;
    std::optional<unsigned long> setupExitCode; // when the setup ran to its end
    std::string storeCopy;                      // the driver store's copy (oemN.inf); empty: none
    std::string driverVer;                      // the INF's DriverVer, "date,version"; empty: none
    unsigned long seconds = 0;                  // the run took
    std::string programVersion;
    std::string logPath; // empty: no log
};
