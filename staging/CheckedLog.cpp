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

// 0 when the opened file may be written as the log at `fullPath`.
unsigned long CheckOpenedLog(LogFiles& files, LogFile& log, const std::string& fullPath)
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
    if (!(*there == facts->identity))
        return kErrorReparsePointEncountered;
    if (log.Created())
        return 0;
    const Result<bool> keepsOwners = log.VolumeKeepsOwners();
    if (!keepsOwners)
        return keepsOwners.Error();
    return *keepsOwners ? log.CheckOwner() : 0;
}

} // namespace

Result<std::unique_ptr<LogFile>> OpenCheckedLog(LogFiles& files, const std::string& path)
{
    const Result<std::string> fullPath = files.FullPath(path);
    if (!fullPath)
        return Failed{fullPath.Error()};
    if (LinkOnTheWay(files, *fullPath))
        return Failed{kErrorReparsePointEncountered};
    Result<std::unique_ptr<LogFile>> opened = files.OpenForAppend(*fullPath);
    if (!opened)
        return opened;
    if (const unsigned long error = CheckOpenedLog(files, **opened, *fullPath)) {
        if ((*opened)->Created())
            (*opened)->RemoveCreated();
        return Failed{error};
    }
    return opened;
}
