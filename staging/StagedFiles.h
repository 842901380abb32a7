// Writing and removing in the staging folder the way Windows lets it be done safely: a name
// is replaced by renaming the old entry aside (Windows keeps a deleted file's name taken
// while anyone still holds it open, an antivirus scanner say), and what cannot be removed
// yet goes on the next run or when Windows restarts. Portable.
#pragma once

#include "staging/Interfaces.h"

#include <optional>
#include <string>
#include <utility>
#include <vector>

// Entries the program leaves in the staging folder for a while: old files renamed aside,
// and the setup's temporary folders. Each run removes those of earlier runs.
inline constexpr const char* kAsidePrefix = "~removed.";
inline constexpr const char* kSetupTempPrefix = "~temp.";

// Replaces whatever has `to`'s name (a file, even one Windows still holds, a hard link or a
// link) by a new copy of `from`: the old entry is renamed aside in its folder and removed,
// at restart when Windows holds it; the copy goes to the freed name, never through a link.
// 0 or the error.
[[nodiscard]] unsigned long ReplaceWithCopy(Files& files, StepLog& log, const std::string& from, const std::string& to);

// What removing a folder tree did.
struct TreeRemoval {
    enum class Step { List, File, Folder };
    struct Failure {
        Step step;
        std::string path;
        unsigned long error;
    };
    int entries = 0;                    // files and links removed
    std::vector<std::string> links;     // the links among them, removed as links
    std::vector<std::string> atRestart; // files renamed aside, which Windows removes when it restarts
    std::vector<std::string> leftAside; // entries renamed aside earlier that are still held
    std::vector<Failure> failures;      // what stayed, in order
};

// What to do with a file that Windows still holds (a running program's, a loaded DLL): it
// is renamed aside into `asideFolder` (ending in "\", on the same volume) and removed from
// there when Windows restarts. A restart removes by name, so a held file is never scheduled
// under its own name, which a later install may take again.
struct HeldFiles {
    std::string asideFolder;
    // Files that a running program was started from: renamed aside without a try to delete them.
    std::vector<std::string> running;
};

// Removes a folder and everything in it; a link in it is removed as a link, never entered.
// With `held`, a file that Windows still holds goes at restart as `held` says; the folder
// then stays when what was renamed aside lies in it, for the next run to remove.
TreeRemoval RemoveTree(Files& files, const std::string& folder, const std::optional<HeldFiles>& held = std::nullopt);

// Removes what earlier runs left in `folder` (ending in "\"): entries renamed aside and the
// setup's temporary folders. What is still held stays, for the next run.
void RemoveLeftovers(Files& files, StepLog& log, const std::string& folder);

// Whether `name` is one that an entry renamed aside has.
bool IsAsideName(const std::string& name);

// A new folder for the setup's temporary files in `folder` (ending in "\"): its full path.
Result<std::string> MakeSetupTempFolder(Files& files, const std::string& folder);
