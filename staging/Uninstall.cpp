#include "staging/Uninstall.h"

#include "staging/DriverPackage.h"
#include "staging/Paths.h"
#include "staging/StoreCopies.h"
#include "staging/Texts.h"

#include <algorithm>

namespace {

class PackageRemoval {
public:
    PackageRemoval(SystemOps& system, StepLog& log, const RecordedStoreCopy& recorded)
        : system_(system)
        , log_(log)
        , recorded_(recorded)
    {
    }

    UninstallOutcome Run()
    {
        unsigned long error = 0;
        const std::optional<std::string> windowsDirectory = WindowsDirectory(system_, error);
        if (!windowsDirectory) {
            Fail(WindowsDirectoryUnreadableLine(system_.DescribeError(error)), error);
            return outcome_;
        }
        log_.Record(UninstallWindowsDirectoryLine(*windowsDirectory));
        const std::string windows = EnsureTrailingBackslash(*windowsDirectory);
        const std::string stagingFolder = windows + kStagingFolderName;
        RemoveFromDriverStore(windows + "inf\\", EnsureTrailingBackslash(stagingFolder) + kPackageInfName);
        if (outcome_.error != 0)
            log_.Record(StagingKeptLine(stagingFolder));
        else
            RemoveStagingFolder(stagingFolder);
        return outcome_;
    }

private:
    // Records a failed step's log line; the run ends in the first failure's code.
    void Fail(const std::string& line, unsigned long error)
    {
        log_.Record(line);
        if (outcome_.error == 0) {
            outcome_.error = FailureCode(error);
            outcome_.failure = line;
        }
    }

    void Removed(const std::string& logLine, const std::string& forTheUser)
    {
        log_.Record(logLine);
        outcome_.removed.push_back(forTheUser);
    }

    // This package's copies: those with the staged INF's bytes, and the recorded one while
    // it is still ours. Nothing when the inf folder cannot be listed (the failure recorded).
    std::optional<std::vector<std::string>> CopiesToRemove(const std::string& infFolder, const std::string& stagedInf)
    {
        std::vector<std::string> copies;
        if (const std::optional<std::string> package = system_.ReadFileBytes(stagedInf)) {
            unsigned long error = 0;
            const auto found = StoreCopiesOf(system_, infFolder, *package, error);
            if (!found) {
                FailInDriverStore(FolderUnlistableLine(infFolder, system_.DescribeError(error)), error);
                return std::nullopt;
            }
            copies = *found;
        } else {
            log_.Record(NoStagedInfLine(stagedInf));
        }
        const std::string& recorded = recorded_.name;
        if (!recorded.empty() && std::find(copies.begin(), copies.end(), recorded) == copies.end() &&
            system_.KindOfPath(infFolder + recorded) == PathKind::File) {
            if (IsStillOurs(infFolder + recorded))
                copies.push_back(recorded);
            else
                log_.Record(RecordedCopyNotOursLine(infFolder + recorded));
        }
        return copies;
    }

    // Whether the INF at `infPath` still says what the recorded copy's INF said.
    bool IsStillOurs(const std::string& infPath)
    {
        const PackageInf& ours = recorded_.inf;
        if (ours.driverVersion.empty() || ours.driverDate.empty())
            return false; // nothing to tell it by
        unsigned long error = 0;
        const std::optional<PackageInf> now = system_.ReadPackageInf(infPath, error);
        return now && now->driverDate == ours.driverDate && now->driverVersion == ours.driverVersion &&
            now->provider == ours.provider && now->classGuid == ours.classGuid;
    }

    void RemoveFromDriverStore(const std::string& infFolder, const std::string& stagedInf)
    {
        const auto copies = CopiesToRemove(infFolder, stagedInf);
        if (!copies)
            return;
        if (copies->empty()) {
            log_.Record(NoStoreCopyToRemoveLine());
            return;
        }
        std::vector<std::string> refused;
        for (const std::string& name : *copies)
            if (!RemoveStoreCopy(infFolder, name))
                refused.push_back(name);
        ConfirmRemoval(infFolder, *copies, refused);
    }

    // Windows refuses a package that any device was ever installed with, also one that is
    // unplugged now: then it is removed by force, unless the reader is still connected.
    // False when the removal was refused (the failure recorded).
    bool RemoveStoreCopy(const std::string& infFolder, const std::string& name)
    {
        unsigned long failed = system_.UninstallDriverPackage(infFolder, name, false);
        if (failed == kErrorInfInUseByDevices) {
            unsigned long error = 0;
            const std::optional<DeviceUse> devices = system_.DevicesUsing(name, error);
            if (!devices) {
                log_.Record(DevicesUnknownLine(name, system_.DescribeError(error)));
            } else if (devices->present != 0) {
                log_.Record(ReaderConnectedLine(infFolder + name, devices->present));
                FailInDriverStore(ReaderConnectedMessage(), failed);
                return false;
            } else {
                log_.Record(NoDevicePresentLine(infFolder + name, devices->installed));
                failed = system_.UninstallDriverPackage(infFolder, name, true);
            }
        }
        if (failed == 0)
            return true;
        FailInDriverStore(StoreRemovalFailedLine(infFolder + name, system_.DescribeError(failed)), failed);
        return false;
    }

    void FailInDriverStore(const std::string& line, unsigned long error)
    {
        Fail(line, error);
        if (outcome_.driverStoreError == 0)
            outcome_.driverStoreError = FailureCode(error);
    }

    // What Windows holds is the truth, not what the removal said: a copy is removed only
    // when a second look at the store no longer finds it.
    void ConfirmRemoval(
        const std::string& infFolder, const std::vector<std::string>& removing, const std::vector<std::string>& refused)
    {
        for (const std::string& name : removing) {
            const bool stayed = system_.KindOfPath(infFolder + name) != PathKind::Missing;
            if (!stayed)
                Removed(StoreRemovedLine(infFolder + name), StoreCopyRemovedItem(name));
            else if (std::find(refused.begin(), refused.end(), name) == refused.end())
                FailInDriverStore(
                    StoreCopyStayedLine(infFolder + name, system_.DescribeError(kErrorDriverStoreDeleteFailed)),
                    kErrorDriverStoreDeleteFailed);
        }
    }

    // Removes a file, or a link without entering it; false when it stayed.
    bool RemoveEntry(const std::string& path, bool link, int& files)
    {
        if (const unsigned long failed = system_.RemoveFile(path)) {
            Fail(FileRemovalFailedLine(path, system_.DescribeError(failed)), failed);
            return false;
        }
        if (link)
            log_.Record(LinkRemovedLine(path));
        ++files;
        return true;
    }

    // Removes a folder and everything in it; false when something stayed.
    bool RemoveTree(const std::string& folder, int& files)
    {
        unsigned long error = 0;
        const auto names = system_.ListFolder(folder, error);
        if (!names) {
            Fail(FolderUnlistableLine(folder, system_.DescribeError(error)), error);
            return false;
        }
        bool complete = true;
        for (const std::string& name : *names) {
            const std::string path = EnsureTrailingBackslash(folder) + name;
            const PathKind kind = system_.KindOfPath(path);
            if (kind == PathKind::Folder)
                complete = RemoveTree(path, files) && complete;
            else if (kind != PathKind::Missing)
                complete = RemoveEntry(path, kind == PathKind::Link, files) && complete;
        }
        if (!complete)
            return false;
        if (const unsigned long failed = system_.RemoveEmptyFolder(folder)) {
            Fail(FolderRemovalFailedLine(folder, system_.DescribeError(failed)), failed);
            return false;
        }
        return true;
    }

    void RemoveStagingFolder(const std::string& folder)
    {
        switch (system_.KindOfPath(folder)) {
        case PathKind::Missing:
            log_.Record(NoStagingFolderLine(folder));
            break;
        case PathKind::File:
            Fail(StagingPathIsAFileLine(folder) + ": " + system_.DescribeError(kErrorAlreadyExists),
                kErrorAlreadyExists);
            break;
        case PathKind::Link:
            if (const unsigned long failed = system_.RemoveFile(folder))
                Fail(LinkRemovalFailedLine(folder, system_.DescribeError(failed)), failed);
            else
                Removed(StagingLinkRemovedLine(folder), StagingLinkRemovedItem(folder));
            break;
        case PathKind::Folder:
            if (int files = 0; RemoveTree(folder, files))
                Removed(StagingFolderRemovedLine(folder, files), StagingFolderRemovedItem(folder, files));
            break;
        }
    }

    SystemOps& system_;
    StepLog& log_;
    const RecordedStoreCopy& recorded_;
    UninstallOutcome outcome_;
};

} // namespace

UninstallOutcome RunUninstall(SystemOps& system, StepLog& log, const RecordedStoreCopy& recorded)
{
    return PackageRemoval(system, log, recorded).Run();
}
