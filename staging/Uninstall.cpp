#include "staging/Uninstall.h"

#include "staging/DriverPackage.h"
#include "staging/Paths.h"
#include "staging/StoreCopies.h"
#include "staging/Texts.h"

#include <algorithm>

namespace {

class PackageRemoval {
public:
    PackageRemoval(SystemOps& system, StepLog& log, const RecordedStoreCopy& recorded,
        const std::optional<NativeStoreHelper>& helper)
        : system_(system)
        , log_(log)
        , recorded_(recorded)
        , helper_(helper)
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
        if (UsesHelper())
            log_.Record(StoreHelperUsedLine(helper_->path, system_.NativeArchitecture()));
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
        std::optional<unsigned long> failed = UninstallPackage(infFolder, name, false);
        if (failed == kErrorInfInUseByDevices) {
            unsigned long error = 0;
            const std::optional<DeviceUse> devices = system_.DevicesUsing(name, error);
            if (!devices) {
                log_.Record(DevicesUnknownLine(name, system_.DescribeError(error)));
            } else if (devices->present != 0) {
                log_.Record(ReaderConnectedLine(infFolder + name, devices->present));
                FailInDriverStore(ReaderConnectedMessage(), *failed);
                return false;
            } else {
                log_.Record(NoDevicePresentLine(infFolder + name, devices->installed));
                failed = UninstallPackage(infFolder, name, true);
            }
        }
        if (!failed)
            return false;
        if (*failed == 0)
            return true;
        FailInDriverStore(StoreRemovalFailedLine(infFolder + name, system_.DescribeError(*failed)), *failed);
        return false;
    }

    bool UsesHelper() { return helper_ && system_.NativeArchitecture() != "x86"; }

    // One removal from the store, here or in the helper; nothing when the helper could not
    // tell (the failure recorded).
    std::optional<unsigned long> UninstallPackage(const std::string& infFolder, const std::string& name, bool force)
    {
        if (!UsesHelper())
            return system_.UninstallDriverPackage(infFolder, name, force);
        const std::optional<unsigned long> native = UninstallInHelper(infFolder, name, force);
        if (native != kErrorFileNotFound)
            return native;
        // Not in the native store. Wine keeps a store per architecture, and what a 32-bit
        // setup added is in this process's; Windows then refuses, and the helper's answer stands.
        log_.Record(NotInNativeStoreLine(name, system_.DescribeError(*native)));
        return system_.UninstallDriverPackage(infFolder, name, force) == 0 ? 0 : native;
    }

    std::optional<unsigned long> UninstallInHelper(const std::string& infFolder, const std::string& name, bool force)
    {
        const HeldFileRelease release(system_);
        std::string sha256;
        if (const unsigned long error = system_.HoldAndHashFile(helper_->path, sha256)) {
            FailInDriverStore(StoreHelperUnreadableLine(helper_->path, system_.DescribeError(error)), error);
            return std::nullopt;
        }
        if (sha256 != helper_->sha256) {
            FailInDriverStore(StoreHelperChangedLine(helper_->path, sha256, helper_->sha256), kErrorInvalidImageHash);
            return std::nullopt;
        }
        const std::string parameters = std::string(kStoreHelperRemoveSwitch) + " \"" + name + '"' +
            (force ? std::string(" ") + kStoreHelperForceSwitch : "");
        StartedProgram started;
        unsigned long exitCode = 0;
        unsigned long error = system_.StartProgram(helper_->path, parameters, infFolder, started);
        if (error == 0 && (error = system_.WaitForStartedProgram(kStoreHelperTimeoutSeconds, exitCode)) != 0)
            system_.EndStartedProgram();
        if (error != 0) {
            FailInDriverStore(StoreHelperNotRunLine(helper_->path, system_.DescribeError(error)), error);
            return std::nullopt;
        }
        return exitCode;
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
    const std::optional<NativeStoreHelper>& helper_;
    UninstallOutcome outcome_;
};

} // namespace

UninstallOutcome RunUninstall(
    SystemOps& system, StepLog& log, const RecordedStoreCopy& recorded, const std::optional<NativeStoreHelper>& helper)
{
    return PackageRemoval(system, log, recorded, helper).Run();
}
