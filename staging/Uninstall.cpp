#include "staging/Uninstall.h"

#include "staging/DriverPackage.h"
#include "staging/Paths.h"
#include "staging/StoreCopies.h"
#include "staging/Texts.h"

namespace {

class PackageRemoval {
public:
    PackageRemoval(SystemOps& system, StepLog& log)
        : system_(system)
        , log_(log)
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

    void RemoveFromDriverStore(const std::string& infFolder, const std::string& stagedInf)
    {
        const std::optional<std::string> package = system_.ReadFileBytes(stagedInf);
        if (!package) {
            log_.Record(NoStagedInfLine(stagedInf));
            return;
        }
        unsigned long error = 0;
        const auto copies = StoreCopiesOf(system_, infFolder, *package, error);
        if (!copies) {
            Fail(FolderUnlistableLine(infFolder, system_.DescribeError(error)), error);
            outcome_.driverStoreError = FailureCode(error);
            return;
        }
        for (const std::string& name : *copies) {
            if (const unsigned long failed = system_.UninstallDriverPackage(infFolder, name)) {
                Fail(StoreRemovalFailedLine(infFolder + name, system_.DescribeError(failed)), failed);
                if (outcome_.driverStoreError == 0)
                    outcome_.driverStoreError = failed;
            } else {
                Removed(StoreRemovedLine(infFolder + name), StoreCopyRemovedItem(name));
            }
        }
        if (copies->empty())
            log_.Record(NoStoreCopyToRemoveLine());
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
    UninstallOutcome outcome_;
};

} // namespace

UninstallOutcome RunUninstall(SystemOps& system, StepLog& log)
{
    return PackageRemoval(system, log).Run();
}
