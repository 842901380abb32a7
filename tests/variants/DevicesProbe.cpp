// Counts the devices installed with the INF named on its command line, with the program's
// own device query, in the build's own bitness: the shipped 32-bit build reads them so on
// 64-bit Windows. Prints what it found; ends in installed * 100 + present, or 99999 when
// the query failed.
#include "win32/DriverStore.h"
#include "win32/Text.h"

#include <windows.h>

#include <cstdio>

int wmain(int argc, wchar_t** argv)
{
    if (argc != 2)
        return 99999;
    const Result<DeviceUse> use = DevicesUsing(Narrow(argv[1]));
    if (!use) {
        std::printf("devices unknown: error %lu\n", use.Error());
        return 99999;
    }
    std::printf("installed %u, present %u\n", use->installed, use->present);
    return static_cast<int>(use->installed * 100 + use->present);
}
