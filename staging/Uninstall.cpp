#include "staging/Uninstall.h"

#include "staging/DriverPackage.h"
#include "staging/Paths.h"

#include <algorithm>

namespace {

class Uninstall {
public:
    Uninstall(SystemOps& system, StepLog& log)
        : system_(system)
        , log_(log)
    {
    }

    UninstallOutcome Run()
    {
        unsigned long error = 0;
        const std::optional<std::string> windowsDirectory = WindowsDirectory(system_, error);
        if (!windowsDirectory) {
            Fail("无法读取 Windows 目录", error);
            return outcome_;
        }
        log_.Record("卸载: Windows 目录 " + *windowsDirectory);
        const std::string windows = EnsureTrailingBackslash(*windowsDirectory);
        const std::string stagingFolder = windows + kStagingFolderName;
        RemoveFromDriverStore(windows + "inf\\", EnsureTrailingBackslash(stagingFolder) + kPackageInfName);
        if (outcome_.error != 0)
            log_.Record("保留暂存目录 " + stagingFolder + "，以便以后卸载时还能认出驱动库中的副本");
        else
            RemoveStagingFolder(stagingFolder);
        return outcome_;
    }

private:
    void Fail(const std::string& what, unsigned long error)
    {
        const std::string line = what + ": " + system_.DescribeError(error);
        log_.Record(line);
        if (outcome_.error == 0) {
            outcome_.error = error != 0 ? error : kErrorInstallFailure;
            outcome_.failure = line;
        }
    }

    void Removed(const std::string& logLine, const std::string& forTheUser)
    {
        log_.Record(logLine);
        outcome_.removed.push_back(forTheUser);
    }

    static bool IsInfName(const std::string& name)
    {
        const std::string ending = ".inf";
        return name.size() > ending.size() &&
            std::equal(ending.begin(), ending.end(), name.end() - 4,
                [](char lower, char given) { return lower == given || lower == given + ('a' - 'A'); });
    }

    void RemoveFromDriverStore(const std::string& infFolder, const std::string& stagedInf)
    {
        const std::optional<std::string> package = system_.ReadFileBytes(stagedInf);
        if (!package) {
            log_.Record("没有暂存的 " + stagedInf + "，不查找驱动库中的副本");
            return;
        }
        unsigned long error = 0;
        const auto names = system_.ListFolder(infFolder, error);
        if (!names) {
            Fail("无法列出 " + infFolder, error);
            return;
        }
        bool found = false;
        for (const std::string& name : *names) {
            // Sizes first: the inf folder holds hundreds of other vendors' INFs.
            if (!IsInfName(name) || system_.FileSize(infFolder + name) != package->size() ||
                system_.ReadFileBytes(infFolder + name) != package)
                continue;
            found = true;
            if (const unsigned long failed = system_.UninstallDriverPackage(name))
                Fail("无法从驱动库删除 " + infFolder + name, failed);
            else
                Removed("已从驱动库删除 " + infFolder + name, "驱动库中的 " + name);
        }
        if (!found)
            log_.Record("驱动库中没有这个驱动包");
    }

    // Removes a file, or a link without entering it; false when it stayed.
    bool RemoveEntry(const std::string& path, bool link, int& files)
    {
        if (const unsigned long failed = system_.RemoveFile(path)) {
            Fail("无法删除 " + path, failed);
            return false;
        }
        if (link)
            log_.Record("已删除链接 " + path + "（没有进入它指向的位置）");
        ++files;
        return true;
    }

    // Removes a folder and everything in it; false when something stayed.
    bool RemoveTree(const std::string& folder, int& files)
    {
        unsigned long error = 0;
        const auto names = system_.ListFolder(folder, error);
        if (!names) {
            Fail("无法列出 " + folder, error);
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
            Fail("无法删除目录 " + folder, failed);
            return false;
        }
        return true;
    }

    void RemoveStagingFolder(const std::string& folder)
    {
        switch (system_.KindOfPath(folder)) {
        case PathKind::Missing:
            log_.Record("没有暂存目录 " + folder);
            break;
        case PathKind::File:
            Fail(folder + " 是一个文件，不是暂存目录，未删除", kErrorAlreadyExists);
            break;
        case PathKind::Link:
            if (const unsigned long failed = system_.RemoveFile(folder))
                Fail("无法删除链接 " + folder, failed);
            else
                Removed("暂存目录 " + folder + " 是一个链接: 只删除了链接本身", folder + "（链接）");
            break;
        case PathKind::Folder:
            if (int files = 0; RemoveTree(folder, files))
                Removed("已删除暂存目录 " + folder + "（" + std::to_string(files) + " 项）",
                    folder + "（" + std::to_string(files) + " 项）");
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
    return Uninstall(system, log).Run();
}

std::string NothingToUninstallText()
{
    return "没有需要卸载的内容。";
}

std::string UninstalledText(const std::vector<std::string>& removed)
{
    std::string text = "已卸载:";
    for (const std::string& line : removed)
        text += "\n" + line;
    return text;
}

std::string MarkerRemovedText()
{
    return "检测标记";
}
