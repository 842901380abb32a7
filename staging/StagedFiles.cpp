#include "staging/StagedFiles.h"

#include "staging/Paths.h"
#include "staging/Texts.h"

namespace {

// How many free names are tried beside a name.
constexpr int kNameTries = 100;

bool IsNameTaken(unsigned long error)
{
    return error == kErrorAlreadyExists || error == kErrorFileExists;
}

// Removes a file or a link now, or else when Windows restarts (logged then).
void RemoveNowOrAtRestart(Files& files, StepLog& log, const std::string& path)
{
    const unsigned long error = files.RemoveFile(path);
    if (error == 0)
        return;
    if (files.RemoveAtRestart(path) == 0)
        log.Record(RemovedAtRestartLine(path));
    else
        log.Record(LeftForTheNextRunLine(path));
}

// Renames the entry at `path` to a free name beside it and removes it from there.
unsigned long MoveAsideAndRemove(Files& files, StepLog& log, const std::string& path)
{
    const std::string folder = ExtractFilePath(path);
    const std::string name = path.substr(folder.size());
    for (int number = 1; number <= kNameTries; ++number) {
        const std::string aside = folder + kAsidePrefix + std::to_string(number) + "." + name;
        const unsigned long error = files.Rename(path, aside);
        if (IsNameTaken(error))
            continue;
        if (error == 0)
            RemoveNowOrAtRestart(files, log, aside);
        return error;
    }
    return kErrorAlreadyExists;
}

bool IsHeld(unsigned long error)
{
    return error == kErrorAccessDenied || error == kErrorSharingViolation;
}

void RemoveInto(Files& files, const std::string& folder, TreeRemoval& removal, bool atRestartWhenHeld)
{
    const Result<std::vector<std::string>> names = files.ListFolder(folder);
    if (!names) {
        removal.failures.push_back({TreeRemoval::Step::List, folder, names.Error()});
        return;
    }
    const std::size_t failuresBefore = removal.failures.size();
    const std::size_t atRestartBefore = removal.atRestart.size();
    for (const std::string& name : *names) {
        const std::string path = EnsureTrailingBackslash(folder) + name;
        const PathKind kind = files.KindOfPath(path);
        if (kind == PathKind::Folder) {
            RemoveInto(files, path, removal, atRestartWhenHeld);
        } else if (kind != PathKind::Missing) {
            if (const unsigned long error = files.RemoveFile(path)) {
                if (atRestartWhenHeld && kind == PathKind::File && IsHeld(error) && files.RemoveAtRestart(path) == 0)
                    removal.atRestart.push_back(path);
                else
                    removal.failures.push_back({TreeRemoval::Step::File, path, error});
                continue;
            }
            ++removal.entries;
            if (kind == PathKind::Link)
                removal.links.push_back(path);
        }
    }
    if (removal.failures.size() != failuresBefore)
        return;
    // The folder goes after what is in it, now or when Windows restarts.
    const unsigned long error =
        removal.atRestart.size() != atRestartBefore ? files.RemoveAtRestart(folder) : files.RemoveEmptyFolder(folder);
    if (error != 0)
        removal.failures.push_back({TreeRemoval::Step::Folder, folder, error});
    else if (removal.atRestart.size() != atRestartBefore)
        removal.atRestart.push_back(folder);
}

} // namespace

unsigned long ReplaceWithCopy(Files& files, StepLog& log, const std::string& from, const std::string& to)
{
    // Written in place, a file that is a hard link would change under all its names, and a
    // link would be written through; deleted, a name Windows still holds stays taken.
    if (files.KindOfPath(to) != PathKind::Missing)
        if (const unsigned long error = MoveAsideAndRemove(files, log, to))
            return error;
    return files.CopyToNewFile(from, to);
}

TreeRemoval RemoveTree(Files& files, const std::string& folder, bool atRestartWhenHeld)
{
    TreeRemoval removal;
    RemoveInto(files, folder, removal, atRestartWhenHeld);
    return removal;
}

void RemoveLeftovers(Files& files, StepLog& log, const std::string& folder)
{
    const Result<std::vector<std::string>> names = files.ListFolder(folder);
    if (!names)
        return;
    for (const std::string& name : *names) {
        const std::string path = folder + name;
        if (name.rfind(kAsidePrefix, 0) == 0 && files.KindOfPath(path) != PathKind::Folder)
            RemoveNowOrAtRestart(files, log, path);
        else if (name.rfind(kSetupTempPrefix, 0) == 0 && files.KindOfPath(path) == PathKind::Folder)
            if (!RemoveTree(files, path).failures.empty())
                log.Record(LeftForTheNextRunLine(path));
    }
}

Result<std::string> MakeSetupTempFolder(Files& files, const std::string& folder)
{
    for (int number = 1; number <= kNameTries; ++number) {
        const std::string path = folder + kSetupTempPrefix + std::to_string(number);
        if (files.KindOfPath(path) != PathKind::Missing)
            continue;
        const Result<bool> created = files.MakeDirectory(path);
        if (!created)
            return Failed{created.Error()};
        if (*created)
            return path;
    }
    return Failed{kErrorAlreadyExists};
}
