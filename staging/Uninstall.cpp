#include "staging/Uninstall.h"

#include "staging/DriverPackage.h"
#include "staging/Paths.h"
#include "staging/StagedFiles.h"
#include "staging/StoreCopies.h"
#include "staging/Texts.h"

#include <algorithm>

namespace {

class PackageRemoval {
public:
    PackageRemoval(const OperatingSystem& system, StepLog& log, const Places& places, const RecordedStoreCopy& recorded,
        const std::optional<NativeStoreHelper>& helper, const std::optional<std::string>& continuationFolder)
        : system_(system)
        , places_(places)
        , files_(system.files)
        , store_(system.driverStore)
        , log_(log)
        , recorded_(recorded)
        , helper_(helper)
        , continuationFolder_(continuationFolder)
    {
    }

    UninstallOutcome Run()
    {
        log_.Record(UninstallWindowsDirectoryLine(places_.windowsDirectory));
        RemoveFromDriverStore(places_.infFolder, places_.stagedInf);
        if (outcome_.error != 0)
            log_.Record(StagingKeptLine(places_.stagingFolder));
        else
            RemoveStagingFolder(places_.stagingFolder);
        return outcome_;
    }

private:
    std::string Describe(unsigned long error) { return system_.errors.DescribeError(error); }

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
        if (const Result<std::string> package = files_.ReadFileBytes(stagedInf)) {
            const Result<std::vector<std::string>> found = StoreCopiesOf(files_, infFolder, *package);
            if (!found) {
                FailInDriverStore(FolderUnlistableLine(infFolder, Describe(found.Error())), found.Error());
                return std::nullopt;
            }
            copies = *found;
        } else {
            log_.Record(NoStagedInfLine(stagedInf));
        }
        const std::string& recorded = recorded_.name;
        if (!recorded.empty() && std::find(copies.begin(), copies.end(), recorded) == copies.end() &&
            files_.KindOfPath(infFolder + recorded) == PathKind::File) {
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
        const Result<PackageInf> now = store_.ReadPackageInf(infPath);
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
            log_.Record(StoreHelperUsedLine(helper_->path, system_.platform.ThisWindows().architecture));
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
            const Result<DeviceUse> devices = store_.DevicesUsing(name);
            if (!devices) {
                log_.Record(DevicesUnknownLine(name, Describe(devices.Error())));
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
        FailInDriverStore(StoreRemovalFailedLine(infFolder + name, Describe(*failed)), *failed);
        return false;
    }

    bool UsesHelper() { return helper_ && system_.platform.ThisWindows().architecture != "x86"; }

    // One removal from the store, here or in the helper; nothing when the helper could not
    // tell (the failure recorded).
    std::optional<unsigned long> UninstallPackage(const std::string& infFolder, const std::string& name, bool force)
    {
        if (!UsesHelper())
            return store_.UninstallDriverPackage(name, force);
        return UninstallInHelper(infFolder, name, force);
    }

    std::optional<unsigned long> UninstallInHelper(const std::string& infFolder, const std::string& name, bool force)
    {
        Result<std::unique_ptr<HeldFile>> held = files_.HoldFile(helper_->path);
        const Result<std::string> sha256 = held ? (*held)->Sha256() : Result<std::string>(Failed{held.Error()});
        if (!sha256) {
            FailInDriverStore(StoreHelperUnreadableLine(helper_->path, Describe(sha256.Error())), sha256.Error());
            return std::nullopt;
        }
        if (*sha256 != helper_->sha256) {
            FailInDriverStore(StoreHelperChangedLine(helper_->path, *sha256, helper_->sha256), kErrorInvalidImageHash);
            return std::nullopt;
        }
        const std::string parameters = std::string(kStoreHelperRemoveSwitch) + " \"" + name + '"' +
            (force ? std::string(" ") + kStoreHelperForceSwitch : "");
        const Result<unsigned long> exitCode = RunHelper({helper_->path, parameters, infFolder});
        if (!exitCode) {
            FailInDriverStore(StoreHelperNotRunLine(helper_->path, Describe(exitCode.Error())), exitCode.Error());
            return std::nullopt;
        }
        return *exitCode;
    }

    // Runs the helper to its end, at most kStoreHelperTimeoutSeconds (then it is ended): its exit code.
    Result<unsigned long> RunHelper(const ProgramStart& start)
    {
        Result<std::unique_ptr<StartedProgram>> started = system_.programs.StartSuspended(start, false);
        if (!started)
            return Failed{started.Error()};
        StartedProgram& helper = **started;
        helper.Resume();
        const Result<unsigned long> exitCode = helper.WaitForExit(kStoreHelperTimeoutSeconds * 1000);
        if (!exitCode)
            helper.End();
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
            const bool stayed = files_.KindOfPath(infFolder + name) != PathKind::Missing;
            if (!stayed)
                Removed(StoreRemovedLine(infFolder + name), StoreCopyRemovedItem(name));
            else if (std::find(refused.begin(), refused.end(), name) == refused.end())
                FailInDriverStore(StoreCopyStayedLine(infFolder + name, Describe(kErrorDriverStoreDeleteFailed)),
                    kErrorDriverStoreDeleteFailed);
        }
    }

    // Where what Windows still holds in the staging folder goes until the restart: the kept
    // program that started a continuation is running.
    HeldFiles HeldFilesOf() const
    {
        if (!continuationFolder_)
            return {places_.staging, {}};
        return {*continuationFolder_, {places_.keptCopy}};
    }

    // Removes a folder and everything in it, what Windows still holds when it restarts;
    // false when something stayed (each failure recorded).
    bool RemoveFolderTree(const std::string& folder, int& entries, int& atRestart)
    {
        const TreeRemoval removal = RemoveTree(files_, folder, HeldFilesOf());
        for (const std::string& link : removal.links)
            log_.Record(LinkRemovedLine(link));
        for (const std::vector<std::string>* paths : {&removal.atRestart, &removal.leftAside})
            for (const std::string& path : *paths)
                log_.Record(RemovedAtRestartLine(path));
        for (const TreeRemoval::Failure& failure : removal.failures) {
            const std::string error = Describe(failure.error);
            switch (failure.step) {
            case TreeRemoval::Step::List:
                Fail(FolderUnlistableLine(failure.path, error), failure.error);
                break;
            case TreeRemoval::Step::File:
                Fail(FileRemovalFailedLine(failure.path, error), failure.error);
                break;
            case TreeRemoval::Step::Folder:
                Fail(FolderRemovalFailedLine(failure.path, error), failure.error);
                break;
            }
        }
        entries = removal.entries;
        atRestart = static_cast<int>(removal.atRestart.size() + removal.leftAside.size());
        return removal.failures.empty();
    }

    void RemoveStagingFolder(const std::string& folder)
    {
        switch (files_.KindOfPath(folder)) {
        case PathKind::Missing:
            log_.Record(NoStagingFolderLine(folder));
            break;
        case PathKind::File:
            Fail(StagingPathIsAFileLine(folder) + ": " + Describe(kErrorAlreadyExists), kErrorAlreadyExists);
            break;
        case PathKind::Link:
            if (const unsigned long failed = files_.RemoveFile(folder))
                Fail(LinkRemovalFailedLine(folder, Describe(failed)), failed);
            else
                Removed(StagingLinkRemovedLine(folder), StagingLinkRemovedItem(folder));
            break;
        case PathKind::Folder:
            if (int entries = 0, atRestart = 0; RemoveFolderTree(folder, entries, atRestart)) {
                const bool stays = files_.KindOfPath(folder) != PathKind::Missing;
                Removed(StagingFolderRemovedLine(folder, entries, atRestart, stays),
                    StagingFolderRemovedItem(folder, entries, atRestart, stays));
            }
            break;
        }
    }

    const OperatingSystem& system_;
    const Places& places_;
    Files& files_;
    DriverStore& store_;
    StepLog& log_;
    const RecordedStoreCopy& recorded_;
    const std::optional<NativeStoreHelper>& helper_;
    const std::optional<std::string>& continuationFolder_;
    UninstallOutcome outcome_;
};

} // namespace

UninstallOutcome RunUninstall(const OperatingSystem& system, StepLog& log, const Places& places,
    const RecordedStoreCopy& recorded, const std::optional<NativeStoreHelper>& helper,
    const std::optional<std::string>& continuationFolder)
{
    return PackageRemoval(system, log, places, recorded, helper, continuationFolder).Run();
}
