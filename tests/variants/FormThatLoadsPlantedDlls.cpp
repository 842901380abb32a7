// A test build of the program that, once started, asks for DLLs by names that exist only
// beside it (planted.dll) and in its working directory (planted_cwd.dll). The start-up's
// search restriction must keep both from loading; either one loading is shown as an
// error instead of the window. The same DLL is then loaded by its full path, which proves
// that it is a DLL this process could load.
#include "ui/Unit1Form.h"
#include "ui/Windowing.h"
#include "win32/Text.h"

const FormDescription& ShippedTForm1Description();

const FormDescription& TForm1Description()
{
    for (const char* name : {"planted.dll", "planted_cwd.dll"})
        if (LoadLibraryW(Widen(name).c_str()) != nullptr)
            throw Exception(std::string(name) + " was loaded by name");
    const std::string path = ExecutableFilePath();
    const std::string beside = path.substr(0, path.find_last_of('\\') + 1) + "planted.dll";
    const HMODULE planted = LoadLibraryW(Widen(beside).c_str());
    if (planted == nullptr)
        throw Exception(beside + " cannot be loaded at all");
    FreeLibrary(planted);
    return ShippedTForm1Description();
}
