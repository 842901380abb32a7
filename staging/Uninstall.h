// The pre-install procedure run backwards: removes this package's copies from Windows'
// driver store and the staging folder with what is in it. Portable, like the procedure:
// it reaches Windows and the log only through the interfaces of Interfaces.h. All strings
// are UTF-8.
#pragma once

#include "staging/Interfaces.h"
#include "staging/Places.h"

#include <optional>
#include <string>
#include <vector>

// How an uninstall ended: 0 or the first failing step's system code, the driver-store
// step's own code (0 when every copy there went, or there was none), what was removed (one
// line each, for the user) and, for a failure, what failed with the system's reason.
struct UninstallOutcome {
    unsigned long error = 0;
    unsigned long driverStoreError = 0;
    std::vector<std::string> removed;
    std::string failure;
};

// The driver-store copy an install recorded: its name in the inf folder and what its INF
// said (DriverVer, Provider, ClassGuid).
struct RecordedStoreCopy {
    std::string name;
    PackageInf inf;
};

// Our 64-bit helper (kStoreHelperName) beside the 32-bit build, and the SHA-256 it was built
// with. Where Windows is not 32-bit the driver store belongs to the native side, which may
// refuse a 32-bit caller (kErrorInWow64): the removals run in the helper, started only while
// its bytes are the ones built, and held unchanged until it has ended.
struct NativeStoreHelper {
    std::string path;
    std::string sha256;
};

// Removes this package's copies from the driver store, then the staging folder; every step
// is logged.
// - The copies are the INFs in the inf folder whose bytes equal the staged TOVRA.INF, and
//   the `recorded` one while its INF still says what it said (Windows gives its oemN.inf
//   names to other packages once ours is gone), also when the staged INF is gone.
// - They go first: without the staged INF a later uninstall could not find them, so the
//   staging folder stays when one of them cannot be removed. A second look at the store
//   decides: a copy still there is a failure (kErrorDriverStoreDeleteFailed), whatever the
//   removal said.
// - A link in the staging folder is removed as a link and never followed; a file where the
//   folder should be is left alone (183).
// - A file in the staging folder that Windows still holds goes at restart, renamed aside
//   first (a restart removes by name, and a later install may take the name again): into
//   `continuationFolder` (ending in "\") when this uninstall continues one that the kept
//   program started and still runs, so that the staging folder goes now; else beside it.
UninstallOutcome RunUninstall(const OperatingSystem& system, StepLog& log, const Places& places,
    const RecordedStoreCopy& recorded = {}, const std::optional<NativeStoreHelper>& helper = std::nullopt,
    const std::optional<std::string>& continuationFolder = std::nullopt);
