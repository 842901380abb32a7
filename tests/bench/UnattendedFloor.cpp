// The floor of the unattended run: a windows program that, started from the package folder,
// does all that a successful "preinstall.exe /S" does, in the same order, in straight-line
// plain Win32 calls and none of the program's layers: the lock, the check for a staged setup
// still running, Installed withdrawn, TOVRA.INF read with Windows' INF parser and its models
// section chosen, the protected staging folder, old staged files renamed aside and removed,
// the four copies, the setup started suspended in a job with its own TEMP, resumed and
// waited for, the store scan, the TEMP folder removed, the marker's values, the kept copy,
// the event source, the Programs and Features entry, Installed, and one event. It leaves
// what the program leaves (its own file is the kept copy) and exits with the program's exit
// code; a failed step is reported on standard error. The bench driver times it from its
// start to its exit, like the program.
#undef _WIN32_WINNT
#undef WINVER
#define _WIN32_WINNT 0x0A00 // the plain calls of the Windows the bench runs, without run-time look-ups
#define WINVER 0x0A00
#include <windows.h>

#include <aclapi.h>
#include <sddl.h>
#include <setupapi.h>
#include <tlhelp32.h>

#include "Version.h"
#include "resources/ProductName.h"
#include "tests/win/SystemError.h"

#include <cstdio>
#include <cwchar>
#include <string>

extern "C" __declspec(dllimport) LONG WINAPI RtlGetVersion(OSVERSIONINFOW* version); // ntdll: the true version

namespace {

constexpr wchar_t kName[] = L"IcCardReaderUsbPreInstall";
constexpr wchar_t kMarkerKey[] = L"SOFTWARE\\IcCardReaderUsbPreInstall";
constexpr wchar_t kEntryKey[] = L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\IcCardReaderUsbPreInstall";
constexpr wchar_t kSourceKey[] =
    L"SYSTEM\\CurrentControlSet\\Services\\EventLog\\Application\\IcCardReaderUsbPreInstall";
constexpr DWORD kTimeoutMilliseconds = 1800 * 1000; // the program's default /TIMEOUT
constexpr DWORD kReparsePointEncountered = 4395;
constexpr DWORD kDriverStoreAddFailed = 0xE0000247;
constexpr DWORD kInstallSucceeded = 1707; // Windows Installer's "completed successfully"

DWORD Fail(const char* what, const std::wstring& path, DWORD error)
{
    std::fprintf(stderr, "floor: %s %s failed: %s\n", what, Utf8(path).c_str(), SystemError(error).c_str());
    return error != 0 ? error : ERROR_INSTALL_FAILURE;
}

LONG SetText(HKEY key, const wchar_t* name, const std::wstring& value, DWORD type = REG_SZ)
{
    return RegSetValueExW(key, name, 0, type, reinterpret_cast<const BYTE*>(value.c_str()),
        static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)));
}

LONG SetNumber(HKEY key, const wchar_t* name, DWORD value)
{
    return RegSetValueExW(key, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value), sizeof value);
}

bool ReadWholeFile(const std::wstring& path, std::string& bytes)
{
    const HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
        nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    bytes.resize(GetFileSize(file, nullptr));
    DWORD read = 0;
    const bool done =
        ReadFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &read, nullptr) && read == bytes.size();
    CloseHandle(file);
    return done;
}

// Removes a folder and all it holds.
void RemoveTree(const std::wstring& folder)
{
    WIN32_FIND_DATAW found;
    const HANDLE search = FindFirstFileW((folder + L"\\*").c_str(), &found);
    if (search != INVALID_HANDLE_VALUE) {
        do {
            const std::wstring path = folder + L"\\" + found.cFileName;
            if ((found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0)
                DeleteFileW(path.c_str());
            else if (std::wcscmp(found.cFileName, L".") != 0 && std::wcscmp(found.cFileName, L"..") != 0)
                RemoveTree(path);
        } while (FindNextFileW(search, &found));
        FindClose(search);
    }
    RemoveDirectoryW(folder.c_str());
}

// Removes what earlier runs left in `folder` (ending in "\"): files renamed aside
// ("~removed.*") and the setups' TEMP folders ("~temp.*").
void RemoveLeftovers(const std::wstring& folder)
{
    WIN32_FIND_DATAW found;
    const HANDLE search = FindFirstFileW((folder + L"~*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE)
        return;
    do {
        const std::wstring path = folder + found.cFileName;
        const bool isFolder = (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
        if (!isFolder && std::wcsncmp(found.cFileName, L"~removed.", 9) == 0)
            DeleteFileW(path.c_str());
        else if (isFolder && std::wcsncmp(found.cFileName, L"~temp.", 6) == 0)
            RemoveTree(path);
    } while (FindNextFileW(search, &found));
    FindClose(search);
}

// Stages `from` as `staging` + `name` as the program does, never writing into what is
// there (a hard link, a link): the old entry renamed aside to "~removed.N.name" and removed,
// read-only or not (at restart while Windows still holds it), then copied to a new file.
DWORD ReplaceWithCopy(const std::wstring& from, const std::wstring& staging, const std::wstring& name)
{
    const std::wstring to = staging + name;
    if (GetFileAttributesW(to.c_str()) != INVALID_FILE_ATTRIBUTES) {
        std::wstring aside;
        for (int number = 1;; ++number) {
            aside = staging + L"~removed." + std::to_wstring(number) + L"." + name;
            if (MoveFileExW(to.c_str(), aside.c_str(), 0))
                break;
            const DWORD error = GetLastError();
            if ((error != ERROR_ALREADY_EXISTS && error != ERROR_FILE_EXISTS) || number == 100)
                return error;
        }
        if (!DeleteFileW(aside.c_str()) &&
            !(SetFileAttributesW(aside.c_str(), FILE_ATTRIBUTE_NORMAL) && DeleteFileW(aside.c_str())))
            MoveFileExW(aside.c_str(), nullptr, MOVEFILE_DELAY_UNTIL_REBOOT);
    }
    return CopyFileW(from.c_str(), to.c_str(), TRUE) ? 0 : GetLastError();
}

// The version of a models section's decoration "NT[architecture][.major[.minor]...]" as
// major * 65536 + minor + 1 when Windows here would take it (this processor, this or an
// earlier version; a decoration without an architecture is x86's), else 0. The product
// type, suite and build fields are not read: the stand-in INF has none.
DWORD DecorationFits(const std::wstring& decoration, const std::wstring& machine, const OSVERSIONINFOW& windows)
{
    if (_wcsnicmp(decoration.c_str(), L"NT", 2) != 0)
        return 0;
    const std::size_t dot = decoration.find(L'.');
    const std::wstring architecture = decoration.substr(2, dot == std::wstring::npos ? dot : dot - 2);
    if (_wcsicmp((architecture.empty() ? L"x86" : architecture.c_str()), machine.c_str()) != 0)
        return 0;
    // Decimal, or hexadecimal after "0x".
    const auto number = [](const wchar_t* text, wchar_t** end) {
        return std::wcstoul(text, end, _wcsnicmp(text, L"0x", 2) == 0 ? 16 : 10);
    };
    wchar_t* rest = nullptr;
    const DWORD major = dot == std::wstring::npos ? 0 : number(decoration.c_str() + dot + 1, &rest);
    const DWORD minor = rest != nullptr && *rest == L'.' ? number(rest + 1, nullptr) : 0;
    const DWORD version = major * 65536 + minor;
    return version <= windows.dwMajorVersion * 65536 + windows.dwMinorVersion ? version + 1 : 0;
}

// One field of a line of the INF's [Version] section; empty when there is none.
std::wstring VersionField(HINF inf, const wchar_t* key, DWORD index)
{
    INFCONTEXT line;
    wchar_t text[512];
    return SetupFindFirstLineW(inf, L"Version", key, &line) && SetupGetStringFieldW(&line, index, text, 512, nullptr)
        ? text
        : L"";
}

// The name of the first INF in `infFolder` whose bytes are `inf`'s; empty when there is none.
std::wstring StoreCopyOf(const std::wstring& infFolder, const std::string& inf)
{
    std::wstring copy;
    WIN32_FIND_DATAW found;
    const HANDLE search = FindFirstFileW((infFolder + L"*.inf").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE)
        return copy;
    do {
        std::string bytes;
        if (found.nFileSizeHigh == 0 && found.nFileSizeLow == inf.size() &&
            ReadWholeFile(infFolder + found.cFileName, bytes) && bytes == inf)
            copy = found.cFileName;
    } while (copy.empty() && FindNextFileW(search, &found));
    FindClose(search);
    return copy;
}

DWORD Install(const std::wstring& self, const std::wstring& windows)
{
    const std::wstring package = self.substr(0, self.find_last_of(L'\\') + 1);
    const std::wstring staging = windows + L"tovra_driver\\";
    const std::wstring stagedSetup = staging + L"TOVRA_SETUP.EXE";

    // One run per PC: the lock file, held without sharing and deleted when it closes; a link
    // at its name is opened itself.
    const std::wstring lockPath = windows + kName + L".lock";
    const HANDLE lock = CreateFileW(lockPath.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_ALWAYS,
        FILE_ATTRIBUTE_NORMAL | FILE_FLAG_DELETE_ON_CLOSE | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (lock == INVALID_HANDLE_VALUE)
        return GetLastError() == ERROR_SHARING_VIOLATION ? ERROR_INSTALL_ALREADY_RUNNING
                                                         : Fail("CreateFileW", lockPath, GetLastError());

    // No run while the staged setup still runs: a process of that name counts only when its
    // image is the staged file.
    const HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    PROCESSENTRY32W entry{};
    entry.dwSize = sizeof entry;
    for (BOOL more = Process32FirstW(snapshot, &entry); more; more = Process32NextW(snapshot, &entry)) {
        if (CompareStringOrdinal(entry.szExeFile, -1, L"TOVRA_SETUP.EXE", -1, TRUE) != CSTR_EQUAL)
            continue;
        const HANDLE process = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, entry.th32ProcessID);
        wchar_t image[MAX_PATH];
        DWORD length = MAX_PATH;
        const bool staged = process != nullptr && QueryFullProcessImageNameW(process, 0, image, &length) &&
            CompareStringOrdinal(image, static_cast<int>(length), stagedSetup.c_str(), -1, TRUE) == CSTR_EQUAL;
        if (process != nullptr)
            CloseHandle(process);
        if (staged)
            return ERROR_INSTALL_ALREADY_RUNNING;
    }
    CloseHandle(snapshot);

    // What earlier uninstalls left renamed aside in their temporary folders, and the folders.
    WIN32_FIND_DATAW found;
    const HANDLE continuations = FindFirstFileW((windows + L"~tovra_uninstall.*").c_str(), &found);
    if (continuations != INVALID_HANDLE_VALUE) {
        do {
            const std::wstring folder = windows + found.cFileName + L"\\";
            RemoveLeftovers(folder);
            RemoveDirectoryW(folder.c_str());
        } while (FindNextFileW(continuations, &found));
        FindClose(continuations);
    }

    // Installed is withdrawn before the install begins; the marker, like every key, in the
    // 32-bit view.
    HKEY marker = nullptr;
    LONG error = RegCreateKeyExW(
        HKEY_LOCAL_MACHINE, kMarkerKey, 0, nullptr, 0, KEY_SET_VALUE | KEY_WOW64_32KEY, nullptr, &marker, nullptr);
    if (error == 0 && (error = RegDeleteValueW(marker, L"Installed")) == ERROR_FILE_NOT_FOUND)
        error = 0;
    if (error != 0)
        return Fail("withdrawing Installed from", kMarkerKey, static_cast<DWORD>(error));

    const wchar_t* const copies[][2] = {{L"TOVRA.EXB", L"TOVRA_SETUP.EXE"}, {L"TOVRA.INF", L"TOVRA.INF"},
        {L"TOVRAWDM.SYS", L"TOVRAWDM.SYS"}, {L"TOVRA.DLL", L"TOVRA.DLL"}};
    for (const auto& [name, stagedName] : copies)
        if (const std::wstring path = package + name; GetFileAttributesW(path.c_str()) == INVALID_FILE_ATTRIBUTES)
            return Fail("finding", path, GetLastError());

    // The INF through Windows' parser: the models section Windows would take for each
    // [Manufacturer] line, which must have models; DriverVer, Provider and ClassGuid.
    const std::wstring packageInf = package + L"TOVRA.INF";
    const HINF inf = SetupOpenInfFileW(packageInf.c_str(), nullptr, INF_STYLE_WIN4, nullptr);
    if (inf == INVALID_HANDLE_VALUE)
        return Fail("SetupOpenInfFileW", packageInf, GetLastError());
    OSVERSIONINFOW version{};
    version.dwOSVersionInfoSize = sizeof version;
    RtlGetVersion(&version);
    SYSTEM_INFO system;
    GetNativeSystemInfo(&system);
    const std::wstring machine = system.wProcessorArchitecture == PROCESSOR_ARCHITECTURE_AMD64 ? L"amd64"
        : system.wProcessorArchitecture == PROCESSOR_ARCHITECTURE_ARM64                        ? L"arm64"
                                                                                               : L"x86";
    bool hasModels = false;
    INFCONTEXT line;
    for (BOOL more = SetupFindFirstLineW(inf, L"Manufacturer", nullptr, &line); more;
         more = SetupFindNextLine(&line, &line)) {
        wchar_t section[256], decoration[256];
        if (!SetupGetStringFieldW(&line, 1, section, 256, nullptr))
            continue;
        std::wstring chosen = machine == L"x86" ? section : L""; // the undecorated section serves x86 only
        DWORD chosenVersion = 0;
        for (DWORD field = 2; field <= SetupGetFieldCount(&line); ++field)
            if (SetupGetStringFieldW(&line, field, decoration, 256, nullptr))
                if (const DWORD fits = DecorationFits(decoration, machine, version); fits > chosenVersion) {
                    chosen = std::wstring(section) + L"." + decoration;
                    chosenVersion = fits;
                }
        hasModels = hasModels || (!chosen.empty() && SetupGetLineCountW(inf, chosen.c_str()) > 0);
    }
    const std::wstring driverDate = VersionField(inf, L"DriverVer", 1);
    const std::wstring driverVersion = VersionField(inf, L"DriverVer", 2);
    const std::wstring provider = VersionField(inf, L"Provider", 1);
    const std::wstring classGuid = VersionField(inf, L"ClassGuid", 1);
    SetupCloseInfFile(inf);
    if (!hasModels)
        return Fail("finding models for this Windows in", packageInf, ERROR_INSTALL_PLATFORM_UNSUPPORTED);

    // The staging folder, never a link, closed to ordinary users before the first copy:
    // owner Administrators, a protected DACL.
    const std::wstring stagingFolder = staging.substr(0, staging.size() - 1);
    const DWORD attributes = GetFileAttributesW(stagingFolder.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0)
        return Fail("staging into", stagingFolder, kReparsePointEncountered);
    if (!CreateDirectoryW(stagingFolder.c_str(), nullptr) && GetLastError() != ERROR_ALREADY_EXISTS)
        return Fail("CreateDirectoryW", stagingFolder, GetLastError());
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    PSID owner = nullptr;
    PACL dacl = nullptr;
    BOOL present = FALSE, defaulted = FALSE;
    if (!ConvertStringSecurityDescriptorToSecurityDescriptorW(
            L"O:BAD:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)(A;OICI;0x1200a9;;;BU)", SDDL_REVISION_1, &descriptor, nullptr) ||
        !GetSecurityDescriptorOwner(descriptor, &owner, &defaulted) ||
        !GetSecurityDescriptorDacl(descriptor, &present, &dacl, &defaulted))
        return Fail("making the security descriptor of", stagingFolder, GetLastError());
    const HANDLE folder = CreateFileW(stagingFolder.c_str(),
        READ_CONTROL | WRITE_DAC | WRITE_OWNER | FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
        OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (folder == INVALID_HANDLE_VALUE)
        return Fail("CreateFileW", stagingFolder, GetLastError());
    BY_HANDLE_FILE_INFORMATION information;
    DWORD protectError = !GetFileInformationByHandle(folder, &information)   ? GetLastError()
        : (information.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0 ? kReparsePointEncountered
                                                                             : 0;
    if (protectError == 0)
        protectError = SetSecurityInfo(folder, SE_FILE_OBJECT,
            OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION | PROTECTED_DACL_SECURITY_INFORMATION, owner,
            nullptr, dacl, nullptr);
    CloseHandle(folder);
    LocalFree(descriptor);
    if (protectError != 0)
        return Fail("protecting", stagingFolder, protectError);

    RemoveLeftovers(staging);
    for (const auto& [name, stagedName] : copies)
        if (const DWORD copyError = ReplaceWithCopy(package + name, staging, stagedName))
            return Fail("staging", staging + stagedName, copyError);

    // What the setup must bring into the driver store: the INF it is staged beside.
    const std::wstring stagedInfPath = staging + L"TOVRA.INF";
    std::string stagedInf;
    if (!ReadWholeFile(stagedInfPath, stagedInf))
        return Fail("reading", stagedInfPath, GetLastError());

    // The setup's own TEMP and TMP, in the protected folder.
    std::wstring temp;
    for (int number = 1; !CreateDirectoryW((temp = staging + L"~temp." + std::to_wstring(number)).c_str(), nullptr);
         ++number)
        if (GetLastError() != ERROR_ALREADY_EXISTS || number == 100)
            return Fail("CreateDirectoryW", temp, GetLastError());
    SetEnvironmentVariableW(L"TEMP", temp.c_str());
    SetEnvironmentVariableW(L"TMP", temp.c_str());

    // The staged setup, by its full path, hidden, suspended until it is in a job of its own
    // (which a program it starts may leave), then resumed.
    const DWORD startedAt = GetTickCount();
    std::wstring commandLine = L"\"" + stagedSetup + L"\" /S";
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESHOWWINDOW;
    startup.wShowWindow = SW_HIDE;
    PROCESS_INFORMATION setup{};
    if (!CreateProcessW(stagedSetup.c_str(), commandLine.data(), nullptr, nullptr, FALSE, CREATE_SUSPENDED, nullptr,
            staging.c_str(), &startup, &setup))
        return Fail("CreateProcessW", stagedSetup, GetLastError());
    const HANDLE job = CreateJobObjectW(nullptr, nullptr);
    JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits{};
    limits.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_BREAKAWAY_OK;
    if (job == nullptr || !SetInformationJobObject(job, JobObjectExtendedLimitInformation, &limits, sizeof limits) ||
        !AssignProcessToJobObject(job, setup.hProcess)) {
        const DWORD jobError = GetLastError();
        TerminateProcess(setup.hProcess, ERROR_INSTALL_FAILURE);
        return Fail("putting into a job", stagedSetup, jobError);
    }
    ResumeThread(setup.hThread);
    CloseHandle(setup.hThread);

    // The verdict: a success code, and the staged INF's copy in the driver store; while the
    // job's processes still run (a bootstrapper's child), looked for again every 250 ms.
    DWORD setupCode = 0;
    if (WaitForSingleObject(setup.hProcess, kTimeoutMilliseconds) != WAIT_OBJECT_0) {
        TerminateJobObject(job, ERROR_TIMEOUT);
        return Fail("waiting for", stagedSetup, ERROR_TIMEOUT);
    }
    GetExitCodeProcess(setup.hProcess, &setupCode);
    CloseHandle(setup.hProcess);
    if (setupCode != 0 && setupCode != ERROR_SUCCESS_REBOOT_REQUIRED && setupCode != ERROR_SUCCESS_REBOOT_INITIATED &&
        setupCode != kInstallSucceeded)
        return Fail("the setup's exit code from", stagedSetup, setupCode);
    std::wstring storeCopy;
    JOBOBJECT_BASIC_ACCOUNTING_INFORMATION accounting{};
    while ((storeCopy = StoreCopyOf(windows + L"inf\\", stagedInf)).empty() &&
        QueryInformationJobObject(job, JobObjectBasicAccountingInformation, &accounting, sizeof accounting, nullptr) &&
        accounting.ActiveProcesses > 0 && GetTickCount() - startedAt < kTimeoutMilliseconds)
        Sleep(250);
    CloseHandle(job);
    RemoveTree(temp);
    if (storeCopy.empty())
        return Fail("finding the driver store's copy of", stagedInfPath, kDriverStoreAddFailed);
    const DWORD exitCode = setupCode == kInstallSucceeded ? 0 : setupCode;

    // The marker's values, each only after the one before it.
    SYSTEMTIME now;
    GetLocalTime(&now);
    wchar_t lastRun[32], installDate[16], hexadecimal[16];
    std::swprintf(lastRun, 32, L"%04u-%02u-%02u %02u:%02u:%02u", now.wYear, now.wMonth, now.wDay, now.wHour,
        now.wMinute, now.wSecond);
    std::swprintf(installDate, 16, L"%04u%02u%02u", now.wYear, now.wMonth, now.wDay);
    std::swprintf(hexadecimal, 16, L"0x%08lX", exitCode);
    error = SetText(marker, L"Version", L"" PREINSTALL_VERSION);
    if (error == 0)
        error = SetNumber(marker, L"LastExitCode", exitCode);
    if (error == 0)
        error = SetNumber(marker, L"SetupExitCode", setupCode);
    if (error == 0)
        error = SetText(marker, L"LastRun", lastRun);
    if (error == 0)
        error = SetText(marker, L"DriverStoreInf", storeCopy);
    if (error == 0)
        error = SetText(marker, L"DriverVersion", driverVersion);
    if (error == 0)
        error = SetText(marker, L"DriverDate", driverDate);
    if (error == 0)
        error = SetText(marker, L"DriverProvider", provider);
    if (error == 0)
        error = SetText(marker, L"DriverClassGuid", classGuid);
    if (error != 0)
        return Fail("writing the marker", kMarkerKey, static_cast<DWORD>(error));

    // The kept copy of the program, for the uninstall (and the shipped 32-bit build's
    // 64-bit store helper beside it on 64-bit Windows, when it lies beside the program).
    const std::wstring kept = staging + L"preinstall.exe";
    if (const DWORD keepError = ReplaceWithCopy(self, staging, L"preinstall.exe"))
        return Fail("keeping", kept, keepError);
#ifndef _WIN64
    if (machine != L"x86")
        if (const DWORD keepError =
                ReplaceWithCopy(package + L"preinstall_store64.exe", staging, L"preinstall_store64.exe");
            keepError != 0 && keepError != ERROR_FILE_NOT_FOUND)
            return Fail("keeping", staging + L"preinstall_store64.exe", keepError);
#endif

    // The event source, whose messages are the kept copy's; a failure changes nothing else.
    HKEY source = nullptr;
    error = RegCreateKeyExW(
        HKEY_LOCAL_MACHINE, kSourceKey, 0, nullptr, 0, KEY_SET_VALUE | KEY_WOW64_32KEY, nullptr, &source, nullptr);
    if (error == 0) {
        error = SetText(source, L"EventMessageFile", kept, REG_EXPAND_SZ);
        if (error == 0)
            error = SetNumber(source, L"TypesSupported", 7);
        RegCloseKey(source);
    }
    if (error != 0)
        Fail("registering the event source", kSourceKey, static_cast<DWORD>(error));

    // The Programs and Features entry; its size is the staging folder's.
    ULONGLONG bytes = 0;
    const HANDLE listing = FindFirstFileW((staging + L"*").c_str(), &found);
    if (listing != INVALID_HANDLE_VALUE) {
        do
            bytes += (ULONGLONG{found.nFileSizeHigh} << 32) | found.nFileSizeLow;
        while (FindNextFileW(listing, &found));
        FindClose(listing);
    }
    const std::wstring uninstall = L"\"" + kept + L"\" /UNINSTALL";
    HKEY entryKey = nullptr;
    error = RegCreateKeyExW(
        HKEY_LOCAL_MACHINE, kEntryKey, 0, nullptr, 0, KEY_SET_VALUE | KEY_WOW64_32KEY, nullptr, &entryKey, nullptr);
    if (error == 0)
        error = SetText(entryKey, L"DisplayName",
            provider.empty() ? std::wstring(L"" PRODUCT_NAME) : L"" PRODUCT_NAME L" (" + provider + L")");
    if (error == 0)
        error = SetText(entryKey, L"DisplayVersion", driverVersion);
    if (error == 0)
        error = SetText(entryKey, L"Publisher", provider);
    if (error == 0)
        error = SetText(entryKey, L"InstallLocation", stagingFolder);
    if (error == 0)
        error = SetText(entryKey, L"DisplayIcon", kept);
    if (error == 0)
        error = SetText(entryKey, L"InstallDate", installDate);
    if (error == 0)
        error = SetText(entryKey, L"UninstallString", uninstall);
    if (error == 0)
        error = SetText(entryKey, L"QuietUninstallString", uninstall + L" /S");
    if (error == 0)
        error = SetNumber(entryKey, L"EstimatedSize", static_cast<DWORD>((bytes + 1023) / 1024));
    if (error == 0)
        error = SetNumber(entryKey, L"NoModify", 1);
    if (error == 0)
        error = SetNumber(entryKey, L"NoRepair", 1);
    if (entryKey != nullptr)
        RegCloseKey(entryKey);
    if (error != 0)
        return Fail("writing the Programs and Features entry", kEntryKey, static_cast<DWORD>(error));

    error = SetNumber(marker, L"Installed", 1);
    RegCloseKey(marker);
    if (error != 0)
        return Fail("writing Installed to", kMarkerKey, static_cast<DWORD>(error));

    // One event in the Application log: 1000, or 1001 when a restart is needed.
    const std::wstring strings[] = {std::to_wstring(exitCode), hexadecimal, std::to_wstring(setupCode), storeCopy,
        driverDate.empty() ? L"-" : driverDate + L"," + driverVersion, L"" PREINSTALL_VERSION, L"-"};
    const wchar_t* inserts[7];
    for (int index = 0; index < 7; ++index)
        inserts[index] = strings[index].c_str();
    const HANDLE events = RegisterEventSourceW(nullptr, kName);
    if (events == nullptr ||
        !ReportEventW(events, exitCode == 0 ? EVENTLOG_INFORMATION_TYPE : EVENTLOG_WARNING_TYPE, 0,
            exitCode == 0 ? 1000 : 1001, nullptr, 7, 0, inserts, nullptr))
        Fail("reporting the event of", self, GetLastError());
    if (events != nullptr)
        DeregisterEventSource(events);
    CloseHandle(lock);
    return exitCode;
}

} // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, LPWSTR, int)
{
    // As the program starts: DLLs from the system directory only, no boxes from Windows.
    SetDefaultDllDirectories(LOAD_LIBRARY_SEARCH_SYSTEM32);
    SetDllDirectoryW(L"");
    SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX | SEM_NOOPENFILEERRORBOX);
    wchar_t self[MAX_PATH], windows[MAX_PATH];
    const DWORD selfLength = GetModuleFileNameW(nullptr, self, MAX_PATH);
    const UINT windowsLength = GetWindowsDirectoryW(windows, MAX_PATH);
    if (selfLength == 0 || selfLength == MAX_PATH || windowsLength == 0 || windowsLength >= MAX_PATH)
        return ERROR_INSTALL_FAILURE;
    return static_cast<int>(Install(std::wstring(self, selfLength), std::wstring(windows, windowsLength) + L"\\"));
}
