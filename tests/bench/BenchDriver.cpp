// Measures the program under Wine for scripts/bench.
//   bench_driver start RUNS PROGRAM BASELINE...
//       starts every program RUNS times, in turns whose order rotates, and prints for
//       each run "start <name> <milliseconds to visible window> <peak working set bytes>"
//   bench_driver press RUNS FOLDER
//       starts FOLDER\preinstall.exe RUNS times and prints "press <milliseconds>" from the
//       click on "预装驱动" to "预装成功!" showing
//   bench_driver silent RUNS FOLDER
//       runs "FOLDER\preinstall.exe /S" RUNS times and prints "silent <milliseconds>" from
//       its start to its exit (the setup it starts exits at once)
#include "tests/win/WindowProbe.h"
#include "win32/Processes.h"

#include <psapi.h>

#include <cstdio>
#include <cwchar>
#include <stdexcept>
#include <string>

namespace {

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

std::wstring FolderOf(const std::wstring& path)
{
    return path.substr(0, path.find_last_of(L'\\') + 1);
}

bool MeasureStart(const std::wstring& program)
{
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

bool MeasureSilentRun(const std::wstring& folder)
{
    const LARGE_INTEGER started = Now();
    RunningProgram running(folder + L"preinstall.exe", folder, nullptr, L"/S");
    const DWORD code = running.WaitForExit(60000);
    std::printf("silent %.1f\n", Milliseconds(started, Now()));
    return code == 0;
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
    } else if (std::wcscmp(argv[1], L"press") == 0 || std::wcscmp(argv[1], L"silent") == 0) {
        const std::wstring folder = std::wstring(argv[3]) + (argv[3][std::wcslen(argv[3]) - 1] == L'\\' ? L"" : L"\\");
        const auto measure = std::wcscmp(argv[1], L"press") == 0 ? MeasurePress : MeasureSilentRun;
        for (int run = 0; run < runs && ok; ++run)
            ok = measure(folder);
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
