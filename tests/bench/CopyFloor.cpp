// The floors for the press-to-success benchmark, in the same Wine as the program:
//   copy_floor PACKAGE_FOLDER          the four copies; prints "copyfloor <milliseconds>"
//   copy_floor PACKAGE_FOLDER verdict  the copies, then what the program must do before it
//                                      shows success (the setup started and waited for,
//                                      the store scan); prints "verdictfloor <milliseconds>"
#include <windows.h>

#include "tests/bench/FloorWork.h"

#include <cstdio>
#include <string>

int wmain(int argc, wchar_t** argv)
{
    if (argc != 2 && !(argc == 3 && std::wstring(argv[2]) == L"verdict"))
        return 2;
    std::wstring package = argv[1];
    if (package.back() != L'\\')
        package += L'\\';
    LARGE_INTEGER frequency, start, end;
    QueryPerformanceFrequency(&frequency);
    QueryPerformanceCounter(&start);
    const bool done = DoFloorWork(package, argc == 3 ? FloorWork::CopiesAndVerdict : FloorWork::CopiesOnly);
    QueryPerformanceCounter(&end);
    std::printf(argc == 3 ? "verdictfloor %.1f\n" : "copyfloor %.1f\n",
        1000.0 * static_cast<double>(end.QuadPart - start.QuadPart) / static_cast<double>(frequency.QuadPart));
    return done ? 0 : 1;
}
