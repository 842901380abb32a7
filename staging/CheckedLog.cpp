#include "staging/CheckedLog.h"

#include "staging/DriverPackage.h"
#include "staging/Paths.h"

namespace {

// Whether a folder on the way to `fullPath`, below its root, is a link.
bool LinkOnTheWay(LogFiles& files, const std::string& fullPath)
{
    for (std::size_t end = fullPath.find('\\', RootLength(fullPath)); end != std::string::npos;
         end = fullPath.find('\\', end + 1))
        if (files.IsLink(fullPath.substr(0, end)))
            return true;
    return false;
}

// 0 when an existing log's owner may have written it: a trusted one, or on a share this
// computer (SYSTEM here, as the share sees it); where the volume keeps owners at all.
unsigned long CheckOwner(LogFile& log)
{
    const Result<bool> keepsOwners = log.VolumeKeepsOwners();
    if (!keepsOwners)
        return keepsOwners.Error();
    if (!*keepsOwners)
        return 0;
    const Result<FileOwner> owner = log.Owner();
    if (!owner)
        return owner.Error();
    if (*owner == FileOwner::Trusted)
        return 0;
    if (*owner == FileOwner::Other)
        return kErrorInvalidOwner;
    const Result<bool> remote = log.OnAnotherComputer();
    if (!remote)
        return remote.Error();
    return *remote ? 0 : kErrorInvalidOwner;
}

// 0 when the opened file may be written as the log at `fullPath`; `identityUnknown` when
// the file system gave no index to tell the file by.
unsigned long CheckOpenedLog(LogFiles& files, LogFile& log, const std::string& fullPath, bool& identityUnknown)
{
    const Result<OpenedFileFacts> facts = log.Facts();
    if (!facts)
        return facts.Error();
    if (facts->link)
        return kErrorReparsePointEncountered;
    if (facts->links != 1)
        return kErrorTooManyLinks;
    // The path must still lead to the opened file: a link put on the way meanwhile would
    // have taken the open elsewhere.
    if (LinkOnTheWay(files, fullPath))
        return kErrorReparsePointEncountered;
    const Result<FileIdentity> there = files.IdentityOf(fullPath);
    if (!there)
        return there.Error();
    identityUnknown = facts->identity.index == 0 || there->index == 0;
    if (!identityUnknown && !(*there == facts->identity))
        return kErrorReparsePointEncountered;
    return log.Created() ? 0 : CheckOwner(log);
}

} // namespace

Result<CheckedLog> OpenCheckedLog(LogFiles& files, const std::string& path)
{
    const Result<std::string> fullPath = files.FullPath(path);
    if (!fullPath)
        return Failed{fullPath.Error()};
    if (LinkOnTheWay(files, *fullPath))
        return Failed{kErrorReparsePointEncountered};
    Result<std::unique_ptr<LogFile>> opened = files.OpenForAppend(*fullPath);
    if (!opened)
        return Failed{opened.Error()};
    CheckedLog checked{std::move(*opened)};
    if (const unsigned long error = CheckOpenedLog(files, *checked.file, *fullPath, checked.identityUnknown)) {
        if (checked.file->Created())
            checked.file->RemoveCreated();
        return Failed{error};
    }
    return checked;
}
