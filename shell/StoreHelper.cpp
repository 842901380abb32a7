// Our 64-bit helper beside the shipped 32-bit program. On 64-bit Windows the driver store
// belongs to the native side, so the 32-bit uninstall starts this to remove a package:
// /REMOVE "oemN.inf" [/FORCE]. It ends in 0 or the system's code (87 for anything else it
// is asked); it shows nothing. Whether the copy went is for its caller to look.
#include "shell/CommandLine.h"
#include "staging/DriverPackage.h"
#include "win32/DllSearch.h"
#include "win32/DriverStore.h"
#include "win32/Text.h"

#include <windows.h>

int WINAPI wWinMain(HINSTANCE, HINSTANCE, wchar_t*, int)
{
    RestrictDllSearch();
    SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX | SEM_NOOPENFILEERRORBOX);
    const std::vector<std::string> arguments = SplitCommandLine(Narrow(GetCommandLineW()));
    const std::optional<StoreHelperRequest> request =
        ParseStoreHelperArguments({arguments.begin() + 1, arguments.end()});
    if (!request)
        return static_cast<int>(kErrorInvalidParameter);
    return static_cast<int>(UninstallDriverPackage(request->infName, request->force));
}
