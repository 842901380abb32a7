// Measures the program under Wine for scripts/bench.
//   bench_driver start RUNS PROGRAM BASELINE...
//       starts every program RUNS times, in turns whose order rotates, and prints for
//       each run "start <name> <milliseconds to visible window> <peak working set bytes>"
//   bench_driver press RUNS FOLDER
//       starts FOLDER\preinstall.exe RUNS times and prints "press <milliseconds>" from the
//       click on "预装驱动" to "预装成功!" showing
//   bench_driver silent RUNS FOLDER TURN
//       runs "FOLDER\preinstall.exe /S" and its floor FOLDER\unattended_floor.exe RUNS
//       times, which goes first alternating from TURN (0: the program), and prints
//       "silent <milliseconds>" and "silentfloor <milliseconds>" from each one's start to
//       its exit (the setup they start exits at once)
#include "tests/win/WindowProbe.h"
#include "win32/Processes.h"

#include <psapi.h>

#include <cstdio>
#include <cwchar>
#include <stdexcept>
#include <string>

namespace {

// Before each timed run: the work of the run before it (its processes ending, the files
// and registry it wrote) settles first, so that no run is timed against another's end.
constexpr DWORD kSettleMilliseconds = 1000;

double Milliseconds(LARGE_INTEGER from, LARGE_INTEGER to)
{
    LARGE_INTEGER frequency;
    QueryPerformanceFrequency(&frequency);
    return 1000.0 * static_cast<double>(to.QuadPart - from.QuadPart) / static_cast<double>(frequency.QuadPart);
}

LARGE_INTEGER Now()
{
    LARGE_INTEGER now;
    QueryPerformanceCounter(&now);
    return now;
}

std::wstring FolderPath(const std::wstring& folder)
{
    return folder.back() == L'\\' ? folder : folder + L'\\';
}

std::wstring FolderOf(const std::wstring& path)
{
    return path.substr(0, path.find_last_of(L'\\') + 1);
}

bool MeasureStart(const std::wstring& program)
{
    Sleep(kSettleMilliseconds);
    const LARGE_INTEGER started = Now();
    RunningProgram running(program, FolderOf(program));
    HWND window = nullptr;
    if (!WaitUntil([&] { return (window = FindUnownedTopWindow(running.Id())) != nullptr; }, 30000, 1))
        return false;
    const LARGE_INTEGER shown = Now();
    Sleep(200); // let it settle before reading its memory
    PROCESS_MEMORY_COUNTERS memory{};
    const HANDLE process = OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE, running.Id());
    GetProcessMemoryInfo(process, &memory, sizeof memory);
    CloseHandle(process);
    std::wstring name = program.substr(program.find_last_of(L'\\') + 1);
    std::printf("start %ls %.1f %llu\n", name.c_str(), Milliseconds(started, shown),
        static_cast<unsigned long long>(memory.PeakWorkingSetSize));
    PostMessageW(window, WM_CLOSE, 0, 0);
    return running.WaitForExit(10000) == 0;
}

bool MeasurePress(const std::wstring& folder)
{
    RunningProgram running(folder + L"preinstall.exe", folder);
    const HWND window = WaitForTopWindow(running.Id(), L"TForm1", 30000);
    if (window == nullptr)
        return false;
    const std::vector<HWND> controls = ChildWindows(window);
    HWND button = nullptr, label = nullptr, exitButton = nullptr;
    for (HWND control : controls) {
        const std::wstring text = WindowText(control);
        if (text == L"预装驱动")
            button = control;
        else if (text == L"预装成功!")
            label = control;
        else if (text == L"退出")
            exitButton = control;
    }
    const LARGE_INTEGER pressed = Now();
    if (!Click(button) || !WaitUntil([&] { return IsWindowVisible(label) != FALSE; }, 120000, 1))
        return false;
    std::printf("press %.1f\n", Milliseconds(pressed, Now()));
    // The started setup program finishes before the next run clears the staging folder.
    WaitUntil([] { return !IsProcessRunning(L"TOVRA_SETUP.EXE"); }, 10000);
    Click(exitButton);
    return running.WaitForExit(10000) == 0;
}

bool MeasureRunToExit(
    const char* measure, const std::wstring& program, const std::wstring& folder, const std::wstring& arguments)
{
    Sleep(kSettleMilliseconds);
    const LARGE_INTEGER started = Now();
    RunningProgram running(program, folder, nullptr, arguments);
    const DWORD code = running.WaitForExit(60000);
    std::printf("%s %.1f\n", measure, Milliseconds(started, Now()));
    if (code != 0)
        std::fprintf(stderr, "bench_driver: %ls ended in %lu\n", program.c_str(), code);
    return code == 0;
}

bool MeasureSilentRunAndItsFloor(const std::wstring& folder, bool floorFirst)
{
    const auto program = [&] { return MeasureRunToExit("silent", folder + L"preinstall.exe", folder, L"/S"); };
    const auto floor = [&] { return MeasureRunToExit("silentfloor", folder + L"unattended_floor.exe", folder, L""); };
    return floorFirst ? floor() && program() : program() && floor();
}

int Measure(int argc, wchar_t** argv)
{
    const int runs = _wtoi(argv[2]);
    bool ok = true;
    if (std::wcscmp(argv[1], L"start") == 0 && argc >= 5) {
        const int programs = argc - 3;
        for (int run = 0; run < runs && ok; ++run)
            // Rotate which goes first, so none always meets a warmer cache.
            for (int turn = 0; turn < programs && ok; ++turn)
                ok = MeasureStart(argv[3 + (run + turn) % programs]);
    } else if (std::wcscmp(argv[1], L"press") == 0) {
        for (int run = 0; run < runs && ok; ++run)
            ok = MeasurePress(FolderPath(argv[3]));
    } else if (std::wcscmp(argv[1], L"silent") == 0 && argc == 5) {
        for (int run = 0; run < runs && ok; ++run)
            ok = MeasureSilentRunAndItsFloor(FolderPath(argv[3]), (run + _wtoi(argv[4])) % 2 == 1);
    } else {
        return 2;
    }
    std::fflush(stdout);
    return ok ? 0 : 1;
}

} // namespace

int wmain(int argc, wchar_t** argv)
{
    if (argc < 4)
        return 2;
    try {
        return Measure(argc, argv);
    } catch (const std::exception& exception) { // a program that could not start, with the reason
        std::fprintf(stderr, "bench_driver: %s\n", exception.what());
        return 1;
    }
}
