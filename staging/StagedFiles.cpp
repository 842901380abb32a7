#include "staging/StagedFiles.h"

#include "staging/Paths.h"
#include "staging/Texts.h"

#include <algorithm>

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

// Renames the entry at `path` to a free name of its own in `folder` (ending in "\"): the
// new path, or the error.
Result<std::string> RenameAside(Files& files, const std::string& path, const std::string& folder)
{
    const std::string name = path.substr(ExtractFilePath(path).size());
    for (int number = 1; number <= kNameTries; ++number) {
        const std::string aside = folder + kAsidePrefix + std::to_string(number) + "." + name;
        const unsigned long error = files.Rename(path, aside);
        if (IsNameTaken(error))
            continue;
        if (error != 0)
            return Failed{error};
        return aside;
    }
    return Failed{kErrorAlreadyExists};
}

// Renames the entry at `path` aside beside it and removes it from there.
unsigned long MoveAsideAndRemove(Files& files, StepLog& log, const std::string& path)
{
    const Result<std::string> aside = RenameAside(files, path, ExtractFilePath(path));
    if (aside)
        RemoveNowOrAtRestart(files, log, *aside);
    return aside.Error();
}

bool IsHeld(unsigned long error)
{
    return error == kErrorAccessDenied || error == kErrorSharingViolation;
}

bool Contains(const std::vector<std::string>& paths, const std::string& path)
{
    return std::find(paths.begin(), paths.end(), path) != paths.end();
}

// Removes one file or link of a tree, or what `held` says with one that Windows still holds
// (a running program's file is not even tried).
void RemoveEntry(
    Files& files, const std::string& path, PathKind kind, TreeRemoval& removal, const std::optional<HeldFiles>& held)
{
    if (!held || !Contains(held->running, path)) {
        const unsigned long error = files.RemoveFile(path);
        if (error == 0) {
            ++removal.entries;
            if (kind == PathKind::Link)
                removal.links.push_back(path);
            return;
        }
        if (!held || kind != PathKind::File || !IsHeld(error)) {
            removal.failures.push_back({TreeRemoval::Step::File, path, error});
            return;
        }
    }
    // Renamed aside into that folder before, and scheduled then.
    if (ExtractFilePath(path) == held->asideFolder && IsAsideName(path.substr(held->asideFolder.size()))) {
        removal.leftAside.push_back(path);
        return;
    }
    const Result<std::string> aside = RenameAside(files, path, held->asideFolder);
    if (!aside)
        removal.failures.push_back({TreeRemoval::Step::File, path, aside.Error()});
    else if (const unsigned long error = files.RemoveAtRestart(*aside))
        removal.failures.push_back({TreeRemoval::Step::File, *aside, error}); // the next run removes it
    else
        removal.atRestart.push_back(*aside);
}

void RemoveInto(Files& files, const std::string& folder, TreeRemoval& removal, const std::optional<HeldFiles>& held)
{
    const Result<std::vector<std::string>> names = files.ListFolder(folder);
    if (!names) {
        removal.failures.push_back({TreeRemoval::Step::List, folder, names.Error()});
        return;
    }
    const std::size_t failuresBefore = removal.failures.size();
    const std::size_t keptBefore = removal.atRestart.size() + removal.leftAside.size();
    for (const std::string& name : *names) {
        const std::string path = EnsureTrailingBackslash(folder) + name;
        const PathKind kind = files.KindOfPath(path);
        if (kind == PathKind::Folder)
            RemoveInto(files, path, removal, held);
        else if (kind != PathKind::Missing)
            RemoveEntry(files, path, kind, removal, held);
    }
    if (removal.failures.size() != failuresBefore)
        return;
    // What was renamed aside into this folder keeps it until the next run.
    const bool asideInside = held && held->asideFolder.rfind(EnsureTrailingBackslash(folder), 0) == 0;
    if (asideInside && removal.atRestart.size() + removal.leftAside.size() != keptBefore)
        return;
    if (const unsigned long error = files.RemoveEmptyFolder(folder))
        removal.failures.push_back({TreeRemoval::Step::Folder, folder, error});
}

} // namespace

bool IsAsideName(const std::string& name)
{
    return name.rfind(kAsidePrefix, 0) == 0;
}

unsigned long ReplaceWithCopy(Files& files, StepLog& log, const std::string& from, const std::string& to)
{
    // Written in place, a file that is a hard link would change under all its names, and a
    // link would be written through; deleted, a name Windows still holds stays taken.
    if (files.KindOfPath(to) != PathKind::Missing)
        if (const unsigned long error = MoveAsideAndRemove(files, log, to))
            return error;
    return files.CopyToNewFile(from, to);
}

TreeRemoval RemoveTree(Files& files, const std::string& folder, const std::optional<HeldFiles>& held)
{
    TreeRemoval removal;
    RemoveInto(files, folder, removal, held);
    return removal;
}

void RemoveLeftovers(Files& files, StepLog& log, const std::string& folder)
{
    const Result<std::vector<std::string>> names = files.ListFolder(folder);
    if (!names)
        return;
    for (const std::string& name : *names) {
        const std::string path = folder + name;
        if (IsAsideName(name) && files.KindOfPath(path) != PathKind::Folder) {
            if (files.RemoveFile(path) != 0)
                log.Record(LeftForTheNextRunLine(path));
        } else if (name.rfind(kSetupTempPrefix, 0) == 0 && files.KindOfPath(path) == PathKind::Folder)
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
