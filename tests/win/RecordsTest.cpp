// What a deployment leaves for administrators, end to end: a kept copy of the program, the
// Programs and Features entry whose uninstall works from it, the event source, and one
// event per run in the Application log.
#include "tests/win/CommandLineFixture.h"

#include "Version.h"

#include <cstdlib>
#include <cstring>

namespace {

// The Application log's events of the program, as Wine traces ReportEventW (it stores
// nothing): "fixme:advapi:ReportEventW (handle,0x0004,0x0000,0x000003e8,...)", type and id.
std::vector<std::pair<unsigned long, unsigned long>> TracedEvents(const std::string& trace)
{
    std::vector<std::pair<unsigned long, unsigned long>> events;
    const std::string call = "ReportEventW (";
    for (std::size_t at = trace.find(call); at != std::string::npos; at = trace.find(call, at + 1)) {
        const std::size_t type = trace.find(',', at) + 1;
        const std::size_t category = trace.find(',', type) + 1;
        const std::size_t id = trace.find(',', category) + 1;
        events.emplace_back(
            std::strtoul(trace.c_str() + type, nullptr, 16), std::strtoul(trace.c_str() + id, nullptr, 16));
    }
    return events;
}

// A message box of any process with this caption; nullptr when none shows within `milliseconds`.
HWND WaitForAnyMessageBox(const std::wstring& caption, unsigned milliseconds)
{
    struct Search {
        const std::wstring& caption;
        HWND found;
    } search{caption, nullptr};
    WaitUntil(
        [&] {
            EnumWindows(
                [](HWND window, LPARAM parameter) {
                    auto& wanted = *reinterpret_cast<Search*>(parameter);
                    if (IsWindowVisible(window) && ClassName(window) == L"#32770" &&
                        WindowText(window) == wanted.caption)
                        wanted.found = window;
                    return wanted.found == nullptr ? TRUE : FALSE;
                },
                reinterpret_cast<LPARAM>(&search));
            return search.found != nullptr;
        },
        milliseconds);
    return search.found;
}

// The Unix name Wine gives a path (ASCII here).
std::wstring UnixPath(const std::wstring& path)
{
    using UnixFileName = char*(CDECL*)(const wchar_t*);
    const auto unixFileName = reinterpret_cast<UnixFileName>(
        reinterpret_cast<void (*)()>(GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "wine_get_unix_file_name")));
    char* name = unixFileName != nullptr ? unixFileName(path.c_str()) : nullptr;
    if (name == nullptr)
        throw std::runtime_error("no Unix name for " + Utf8(path));
    std::wstring unix(name, name + std::strlen(name));
    HeapFree(GetProcessHeap(), 0, name);
    return unix;
}

// A file or folder that is gone, or that Windows is to remove when it restarts.
bool GoneOrGoingAtRestart(const std::wstring& path)
{
    if (!PathExists(path))
        return true;
    return OutputOf(L"reg.exe query \"HKLM\\SYSTEM\\CurrentControlSet\\Control\\Session Manager\" /v "
                    L"PendingFileRenameOperations")
               .find(Utf8(path.substr(2))) != std::string::npos;
}

class RecordsTest : public CommandLineTest {
protected:
    const std::wstring keptCopy = staging + L"preinstall.exe";

    std::string Entry(const wchar_t* name) const { return RegistryValue(kProgramsEntryKey, name); }

    // Runs the program with `arguments` and Wine's trace of the Application log on; its
    // exit code as a Unix shell sees it (modulo 256), and the events it reported. Wine writes
    // its traces to the Unix standard error it started with, never to a Windows handle: the
    // program is started by a shell.
    DWORD RunTracingEvents(const std::wstring& arguments, std::vector<std::pair<unsigned long, unsigned long>>& events)
    {
        wchar_t loader[MAX_PATH] = L"";
        if (GetEnvironmentVariableW(L"PREINSTALL_WINE_LOADER", loader, MAX_PATH) == 0)
            throw std::runtime_error("no PREINSTALL_WINE_LOADER: not run by wine.sh");
        const std::wstring trace = folder.Path() + L"trace.txt";
        const std::wstring code = folder.Path() + L"code.txt";
        DeleteFileW(code.c_str());
        const std::wstring command = L"Z:\\bin\\sh -c \"cd '" + UnixPath(folder.Path()) +
            L"' && WINEDEBUG=-all,fixme+advapi,trace+eventlog " + loader + L" preinstall.exe " + arguments + L" 2>'" +
            UnixPath(folder.Path()) + L"trace.txt'; echo $? >'" + UnixPath(folder.Path()) + L"code.txt'\"";
        STARTUPINFOW startup{};
        startup.cb = sizeof startup;
        PROCESS_INFORMATION process{};
        std::wstring line = command;
        if (!CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process))
            ThrowLastError("cannot start " + Utf8(command));
        CloseHandle(process.hThread);
        CloseHandle(process.hProcess);
        if (!WaitForFile(code, 120000))
            throw std::runtime_error("the traced run did not end: " + Utf8(command));
        lastTrace = ReadWholeFile(trace);
        events = TracedEvents(lastTrace);
        return std::strtoul(ReadWholeFile(code).c_str(), nullptr, 10);
    }
    // What Wine wrote while the last traced run ran, for a failure's message.
    std::string lastTrace;
};

TEST_F(RecordsTest, SilentInstallWritesTheEntryWhoseUninstallIsTheKeptCopy)
{
    ASSERT_EQ(RunToEnd(L"/S /LOG=\"" + logPath + L"\""), 0u) << Log();
    EXPECT_EQ(ReadWholeFile(keptCopy), ReadWholeFile(folder.Path() + L"preinstall.exe")) << "no kept copy";
    if (TestsTheShippedBuild()) { // on 64-bit Windows its store helper is kept beside it
        EXPECT_EQ(ReadWholeFile(staging + kStoreHelper), ReadWholeFile(folder.Path() + kStoreHelper));
    }
    const std::string kept = Utf8(keptCopy);
    EXPECT_EQ(Entry(L"DisplayName"), "REG_SZ IC卡读写器USB程序安装 (Example Test Vendor)");
    EXPECT_EQ(Entry(L"DisplayVersion"), "REG_SZ 1.0.0.0");
    EXPECT_EQ(Entry(L"Publisher"), "REG_SZ Example Test Vendor");
    EXPECT_EQ(Entry(L"InstallLocation"), "REG_SZ " + Utf8(staging.substr(0, staging.size() - 1)));
    EXPECT_EQ(Entry(L"DisplayIcon"), "REG_SZ " + kept);
    SYSTEMTIME today;
    GetLocalTime(&today);
    EXPECT_EQ(Entry(L"InstallDate"), "REG_SZ " + std::to_string(today.wYear * 10000 + today.wMonth * 100 + today.wDay));
    const std::string size = Entry(L"EstimatedSize");
    ASSERT_EQ(size.rfind("REG_DWORD ", 0), 0u) << size;
    EXPECT_GE(std::stoul(size.substr(10)), ReadWholeFile(keptCopy).size() / 1024);
    EXPECT_EQ(Entry(L"NoModify"), "REG_DWORD 1");
    EXPECT_EQ(Entry(L"NoRepair"), "REG_DWORD 1");
    EXPECT_EQ(Entry(L"UninstallString"), "REG_SZ \"" + kept + "\" /UNINSTALL");
    EXPECT_EQ(Entry(L"QuietUninstallString"), "REG_SZ \"" + kept + "\" /UNINSTALL /S");
    EXPECT_EQ(RegistryValue(kEventSourceKey, L"EventMessageFile"), "REG_EXPAND_SZ " + kept);
    EXPECT_EQ(RegistryValue(kEventSourceKey, L"TypesSupported"), "REG_DWORD 7");
    EXPECT_TRUE(MarkerSaysInstalled());
}

TEST_F(RecordsTest, NoEntryWithNoArpFromTheWindowOrAfterAFailedRun)
{
    EXPECT_EQ(RunToEnd(L"/S /NOARP"), 0u);
    EXPECT_FALSE(KeyExists(kProgramsEntryKey));
    EXPECT_TRUE(PathExists(keptCopy)) << "/NOARP leaves out the entry only";
    EXPECT_TRUE(MarkerSaysInstalled());
    RemoveKey(kEventSourceKey);

    ClearStaging();
    {
        const ScopedVariable failing(L"TOVRA_STANDIN_EXIT_CODE", L"5");
        EXPECT_EQ(RunToEnd(L"/S"), static_cast<DWORD>(ERROR_INSTALL_FAILURE));
    }
    EXPECT_FALSE(KeyExists(kProgramsEntryKey));
    EXPECT_FALSE(KeyExists(kEventSourceKey));
    EXPECT_FALSE(PathExists(keptCopy));

    // The window without arguments is the window, and nothing more.
    RemoveMarker();
    ClearStaging();
    Start();
    ASSERT_TRUE(Click(controls[kButton1]));
    ASSERT_TRUE(SucceedsWithin(60000));
    ExitWithCodeZero();
    EXPECT_FALSE(KeyExists(kProgramsEntryKey));
    EXPECT_FALSE(KeyExists(kEventSourceKey));
    EXPECT_TRUE(MarkerValues().empty());
    EXPECT_FALSE(PathExists(keptCopy));
}

// The entry's quiet uninstall, run as a deployment tool runs it: from the kept copy, which
// cannot remove itself, so it goes on in a temporary copy and passes on that run's code.
TEST_F(RecordsTest, QuietUninstallStringRunAsWrittenRemovesEverything)
{
    ASSERT_EQ(RunToEnd(L"/S"), 0u);
    ASSERT_TRUE(InDriverStore());
    const std::string quiet = Entry(L"QuietUninstallString");
    ASSERT_EQ(quiet.rfind("REG_SZ ", 0), 0u) << quiet;
    EXPECT_EQ(RunCommandLine(Widen(quiet.substr(7)), 120000), 0u);
    EXPECT_FALSE(InDriverStore());
    EXPECT_FALSE(KeyExists(kProgramsEntryKey));
    EXPECT_FALSE(KeyExists(kEventSourceKey));
    EXPECT_TRUE(MarkerValues().empty());
    EXPECT_FALSE(PathExists(staging)) << "the staging folder stayed";
    std::istringstream continuations(OutputOf(L"cmd.exe /c dir /b " + WindowsDirectory() + L"\\~tovra_uninstall.*"));
    for (std::string name; std::getline(continuations >> std::ws, name);) {
        if (name.rfind("~tovra_uninstall.", 0) == 0) {
            EXPECT_TRUE(GoneOrGoingAtRestart(WindowsDirectory() + L"\\" + Widen(name.substr(0, name.find('\r')))))
                << "the temporary copy stays after the restart";
        }
    }
}

// A fleet's upgrade: the stored quiet uninstall, a new install, and only then a restart.
// What waited for the restart goes under names of its own: the new install keeps its
// kept copy, its staged files, its entry's uninstall and its events' message file.
TEST_F(RecordsTest, UpgradeWithoutARestartKeepsTheNewInstallThroughTheRestart)
{
    ASSERT_EQ(RunToEnd(L"/S"), 0u);
    const std::string quiet = Entry(L"QuietUninstallString");
    ASSERT_EQ(quiet.rfind("REG_SZ ", 0), 0u) << quiet;
    ASSERT_EQ(RunCommandLine(Widen(quiet.substr(7)), 120000), 0u);
    ASSERT_EQ(RunToEnd(L"/S"), 0u);
    ASSERT_EQ(RunCommandLine(L"wineboot.exe -r", 120000), 0u) << "the restart failed";
    for (const wchar_t* name : {L"preinstall.exe", L"TOVRA_SETUP.EXE", L"TOVRA.INF", L"TOVRAWDM.SYS", L"TOVRA.DLL"})
        EXPECT_TRUE(PathExists(staging + name)) << Utf8(name) << " went at the restart";
    EXPECT_EQ(Entry(L"QuietUninstallString"), quiet);
    EXPECT_EQ(RegistryValue(kEventSourceKey, L"EventMessageFile"), "REG_EXPAND_SZ " + Utf8(keptCopy));
    EXPECT_EQ(RunCommandLine(Widen(quiet.substr(7)), 120000), 0u) << "the stored uninstall no longer works";
    EXPECT_FALSE(InDriverStore());
}

// Without /S, from Programs and Features: the one box comes from the run that goes on.
TEST_F(RecordsTest, UninstallStringWithItsBoxRemovesEverythingToo)
{
    ASSERT_EQ(RunToEnd(L"/S"), 0u);
    const std::string withBox = Entry(L"UninstallString");
    ASSERT_EQ(withBox.rfind("REG_SZ ", 0), 0u) << withBox;
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    std::wstring line = Widen(withBox.substr(7));
    ASSERT_TRUE(CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process))
        << SystemError(GetLastError());
    const HWND box = WaitForAnyMessageBox(kCaption, 60000);
    ASSERT_NE(box, nullptr) << "no box";
    EXPECT_EQ(MessageBoxText(box).rfind(L"已卸载:\n驱动程序存储中的 ", 0), 0u) << Utf8(MessageBoxText(box));
    EXPECT_NE(MessageBoxText(box).find(L"“程序和功能”中的条目"), std::wstring::npos) << Utf8(MessageBoxText(box));
    PostMessageW(box, WM_COMMAND, IDOK, 0);
    EXPECT_EQ(WaitForSingleObject(process.hProcess, 60000), WAIT_OBJECT_0);
    DWORD code = STILL_ACTIVE;
    GetExitCodeProcess(process.hProcess, &code);
    EXPECT_EQ(code, 0u);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    EXPECT_FALSE(KeyExists(kProgramsEntryKey));
    EXPECT_FALSE(InDriverStore());
}

// One event per run with arguments, of the run's kind; help and usage errors report none.
TEST_F(RecordsTest, EachRunReportsOneEventOfItsKind)
{
    constexpr unsigned long kInformation = 4, kWarning = 2, kError = 1; // EVENTLOG_*_TYPE
    using Events = std::vector<std::pair<unsigned long, unsigned long>>;
    Events events;
    EXPECT_EQ(RunTracingEvents(L"/S", events), 0u) << lastTrace;
    EXPECT_EQ(events, (Events{{kInformation, 1000}}));
    {
        const ScopedVariable restart(L"TOVRA_STANDIN_EXIT_CODE", L"3010");
        EXPECT_EQ(RunTracingEvents(L"/S", events), 3010u % 256) << lastTrace;
        EXPECT_EQ(events, (Events{{kWarning, 1001}}));
    }
    {
        const HANDLE held =
            CreateFileW(lockFile.c_str(), GENERIC_READ, 0, nullptr, OPEN_ALWAYS, FILE_FLAG_DELETE_ON_CLOSE, nullptr);
        ASSERT_NE(held, INVALID_HANDLE_VALUE) << SystemError(GetLastError());
        EXPECT_EQ(RunTracingEvents(L"/S", events), static_cast<DWORD>(ERROR_INSTALL_ALREADY_RUNNING) % 256);
        CloseHandle(held);
        EXPECT_EQ(events, (Events{{kWarning, 1003}}));
    }
    EXPECT_EQ(RunTracingEvents(L"/UNINSTALL /S", events), 0u) << lastTrace;
    EXPECT_EQ(events, (Events{{kInformation, 1010}}));
    ASSERT_TRUE(DeleteFileW((folder.Path() + L"TOVRA.DLL").c_str()));
    EXPECT_EQ(RunTracingEvents(L"/S", events), static_cast<DWORD>(ERROR_FILE_NOT_FOUND) % 256) << lastTrace;
    EXPECT_EQ(events, (Events{{kError, 1002}}));
    EXPECT_EQ(RunTracingEvents(L"/S /BOGUS", events), static_cast<DWORD>(ERROR_INVALID_PARAMETER) % 256);
    EXPECT_EQ(events, Events{}) << "a usage error reports no event";
}

// The message table the event source's registration names: every event, in both languages,
// loaded as Event Viewer loads it.
TEST(MessageTable, HasEveryEventInChineseAndEnglish)
{
    const std::wstring program = BuildUnderTest() + L"preinstall.exe";
    const HMODULE messages = LoadLibraryExW(program.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
    ASSERT_NE(messages, nullptr) << SystemError(GetLastError());
    std::wstring texts[] = {
        L"3010", L"0x00000BC2", L"3010", L"oem7.inf", L"12/08/2026,1.0.0.0", L"9.9.9", L"C:\\日志\\预装.log"};
    wchar_t* inserts[std::size(texts)];
    for (std::size_t index = 0; index < std::size(texts); ++index)
        inserts[index] = texts[index].data();
    const std::pair<LANGID, const wchar_t*> languages[] = {
        {MAKELANGID(LANG_CHINESE, SUBLANG_CHINESE_SIMPLIFIED), L"驱动程序存储中的副本"},
        {MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US), L"driver store copy"}};
    for (const unsigned long id : {1000ul, 1001ul, 1002ul, 1003ul, 1010ul, 1011ul, 1012ul})
        for (const auto& [language, word] : languages) {
            wchar_t* text = nullptr;
            const DWORD length = FormatMessageW(
                FORMAT_MESSAGE_FROM_HMODULE | FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_ARGUMENT_ARRAY, messages,
                id, language, reinterpret_cast<wchar_t*>(&text), 0, reinterpret_cast<va_list*>(inserts));
            ASSERT_NE(length, 0u) << "event " << id << " language " << language << ": " << SystemError(GetLastError());
            const std::wstring message(text, length);
            LocalFree(text);
            EXPECT_NE(message.find(word), std::wstring::npos) << Utf8(message);
            for (const std::wstring& insert : texts)
                EXPECT_NE(message.find(insert), std::wstring::npos) << id << " lacks " << Utf8(insert);
        }
    FreeLibrary(messages);
}

} // namespace
