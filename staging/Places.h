// Where the program keeps things under the Windows directory, all computed from one read
// of it; no other code joins these paths. Folders end in "\". UTF-8.
#pragma once

#include <string>

// The temporary folders an uninstall started from the kept copy continues from: the name
// is this prefix and a number.
inline constexpr const char* kContinuationFolderPrefix = "~tovra_uninstall.";

struct Places {
    std::string windowsDirectory; // as Windows gives it ("C:\WINDOWS")
    std::string windows;          // the same, ending in "\"
    std::string stagingFolder;    // %WINDIR%\tovra_driver, as a path of its own
    std::string staging;          // the same, ending in "\"
    std::string keptCopy;         // the program kept there after a success
    std::string keptStoreHelper;  // and on 64-bit Windows its store helper
    std::string stagedSetup;
    std::string stagedInf;
    std::string lock;      // the lock file of unattended runs
    std::string infFolder; // Windows' inf folder, where the driver store keeps its INFs

    // The continuation folder with `number`, without the final "\".
    std::string ContinuationFolder(int number) const;
    // Whether `folder` (ending in "\") is a continuation folder directly in the Windows
    // directory, compared as Windows compares file names.
    bool IsContinuationFolder(const std::string& folder) const;
    // Whether `folder` (ending in "\") is the staging folder.
    bool IsStagingFolder(const std::string& folder) const;
};

Places PlacesIn(const std::string& windowsDirectory);
