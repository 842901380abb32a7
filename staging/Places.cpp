#include "staging/Places.h"

#include "staging/Ascii.h"
#include "staging/DriverPackage.h"
#include "staging/Paths.h"

namespace {

// In the Windows directory: only administrators can create files there.
constexpr const char* kLockFileName = "IcCardReaderUsbPreInstall.lock";

} // namespace

Places PlacesIn(const std::string& windowsDirectory)
{
    Places places;
    places.windowsDirectory = windowsDirectory;
    places.windows = EnsureTrailingBackslash(windowsDirectory);
    places.stagingFolder = places.windows + kStagingFolderName;
    places.staging = places.stagingFolder + "\\";
    places.keptCopy = places.staging + kKeptProgramName;
    places.keptStoreHelper = places.staging + kStoreHelperName;
    places.stagedSetup = places.staging + kStagedSetupName;
    places.stagedInf = places.staging + kPackageInfName;
    places.lock = places.windows + kLockFileName;
    places.infFolder = places.windows + "inf\\";
    return places;
}

std::string Places::ContinuationFolder(int number) const
{
    return windows + kContinuationFolderPrefix + std::to_string(number);
}

bool Places::IsContinuationFolder(const std::string& folder) const
{
    const std::string prefix = LowerAscii(windows + kContinuationFolderPrefix);
    return LowerAscii(folder).rfind(prefix, 0) == 0 && folder.find('\\', prefix.size()) == folder.size() - 1;
}

bool Places::IsStagingFolder(const std::string& folder) const
{
    return LowerAscii(folder) == LowerAscii(staging);
}
