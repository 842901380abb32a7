// What the press benchmark's floors (copy_floor) do with plain Win32 calls: the package's
// four files copied with CopyFileW into the staging folder and, for a verdict, the staged
// setup started hidden, waited for, and the staged INF's copy found in the driver store
// (the inf folder). Each failed call is reported on standard error with the system's reason.
#pragma once

#include <string>

enum class FloorWork { CopiesOnly, CopiesAndVerdict };

// PACKAGE_FOLDER ends with a backslash. True when every step succeeded.
bool DoFloorWork(const std::wstring& packageFolder, FloorWork work);
