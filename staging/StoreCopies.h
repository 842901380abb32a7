// Where a driver package is in Windows' driver store: Windows publishes each package's INF
// in the Windows directory's inf folder (as oemN.inf; Wine keeps the INF's own name when it
// is free), so a package's copies are the INFs there whose bytes equal its INF.
#pragma once

#include "staging/Interfaces.h"

#include <string>
#include <vector>

// The names of the copies of `packageInf` (its bytes) in `infFolder` (ending in "\").
Result<std::vector<std::string>> StoreCopiesOf(
    Files& files, const std::string& infFolder, const std::string& packageInf);
