#include "tests/win/WinTestSupport.h"

#include "tests/win/SystemError.h"

#include <windows.h>

#include <bcrypt.h>

#include <algorithm>
#include <cstring>
#include <functional>
#include <stdexcept>
#include <utility>
#include <vector>

namespace {
const wchar_t* const kPackageFiles[] = {L"TOVRA.EXB", L"TOVRA.INF", L"TOVRAWDM.SYS", L"TOVRA.DLL"};
}

ScratchFolder::ScratchFolder(const std::wstring& name)
{
    wchar_t temp[MAX_PATH];
    GetTempPathW(MAX_PATH, temp);
    // Wine reuses process ids: the id alone could name a folder that an earlier test's
    // programs still use. The id, the time and a count make a name no one has used, and a
    // folder that exists already is never taken over or removed.
    static unsigned count = 0;
    const std::wstring base = std::wstring(temp) + name + L"_" + std::to_wstring(GetCurrentProcessId()) + L"_" +
        std::to_wstring(GetTickCount64()) + L"_";
    for (;;) {
        path_ = base + std::to_wstring(++count) + L"\\";
        if (CreateDirectoryW(path_.c_str(), nullptr))
            return;
        if (GetLastError() != ERROR_ALREADY_EXISTS)
            ThrowLastError("cannot create the scratch folder " + Utf8(path_));
    }
}

ScratchFolder::~ScratchFolder()
{
    RemoveTree(path_);
}

ScopedVariable::ScopedVariable(const wchar_t* name, const std::wstring& value)
    : name_(name)
{
    SetEnvironmentVariableW(name, value.c_str());
}

ScopedVariable::~ScopedVariable()
{
    SetEnvironmentVariableW(name_, nullptr);
}

void RemoveTree(const std::wstring& folder)
{
    std::wstring base = folder;
    if (!base.empty() && base.back() != L'\\')
        base += L'\\';
    WIN32_FIND_DATAW found;
    const HANDLE search = FindFirstFileW((base + L"*").c_str(), &found);
    if (search != INVALID_HANDLE_VALUE) {
        do {
            const std::wstring name = found.cFileName;
            if (name == L"." || name == L"..")
                continue;
            const std::wstring path = base + name;
            if (found.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) {
                if (!RemoveDirectoryW(path.c_str())) // a link: never what it points to
                    DeleteFileW(path.c_str());
            } else if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
                RemoveTree(path);
            } else {
                SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
                DeleteFileW(path.c_str());
            }
        } while (FindNextFileW(search, &found));
        FindClose(search);
    }
    SetFileAttributesW(base.c_str(), FILE_ATTRIBUTE_NORMAL);
    RemoveDirectoryW(base.c_str());
}

std::string ReadWholeFile(const std::wstring& path)
{
    const HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
        OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return {};
    std::string bytes(GetFileSize(file, nullptr), '\0');
    DWORD read = 0;
    ReadFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &read, nullptr);
    CloseHandle(file);
    bytes.resize(read);
    return bytes;
}

void WriteWholeFile(const std::wstring& path, const std::string& bytes)
{
    const HANDLE file =
        CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        ThrowLastError("cannot write " + Utf8(path));
    DWORD written = 0;
    WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
    CloseHandle(file);
}

bool PathExists(const std::wstring& path)
{
    return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

bool PlainCopyOntoFails(const std::wstring& path)
{
    const std::wstring probe = path + L".probe";
    WriteWholeFile(probe, "probe");
    const bool copied = CopyFileW(probe.c_str(), path.c_str(), FALSE) != FALSE;
    DeleteFileW(probe.c_str());
    return !copied;
}

bool WaitForFile(const std::wstring& path, unsigned milliseconds)
{
    for (unsigned waited = 0; waited <= milliseconds; waited += 50) {
        if (!ReadWholeFile(path).empty())
            return true;
        Sleep(50);
    }
    return false;
}

std::wstring BuildUnderTest()
{
    const wchar_t* unixPath = _wgetenv(L"PREINSTALL_BUILD");
    if (unixPath == nullptr || unixPath[0] != L'/')
        throw std::runtime_error("PREINSTALL_BUILD does not name the build under test");
    std::wstring path = std::wstring(L"Z:") + unixPath + L"/"; // Wine's drive Z: is the Unix root
    std::replace(path.begin(), path.end(), L'/', L'\\');
    return path;
}

bool TestsTheShippedBuild()
{
    const wchar_t* suite = _wgetenv(L"PREINSTALL_SUITE");
    return suite != nullptr && std::wstring(suite).rfind(L"i686.", 0) == 0;
}

std::wstring TestProgramsBuild()
{
    wchar_t path[MAX_PATH];
    const DWORD length = GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring folder(path, length);
    for (int level = 0; level < 3; ++level) // <build>\tests\win\program.exe
        folder.erase(folder.find_last_of(L'\\'));
    return folder + L"\\";
}

std::wstring StandInPackage()
{
    return BuildUnderTest() + L"package\\";
}

std::wstring VariantProgram(const std::wstring& fileName)
{
    return BuildUnderTest() + L"tests\\variants\\" + fileName;
}

void CopyTestFile(const std::wstring& from, const std::wstring& to)
{
    if (!CopyFileW(from.c_str(), to.c_str(), FALSE))
        ThrowLastError("cannot copy " + Utf8(from) + " to " + Utf8(to));
}

void CopyStandInPackage(const std::wstring& folder)
{
    for (const wchar_t* name : kPackageFiles)
        CopyTestFile(StandInPackage() + name, folder + name);
    // Wine keeps a driver store per architecture, where Windows has one: the shipped build's
    // tests run on 64-bit Windows, so their package brings a 64-bit setup, whose copy is in
    // the store that the program's 64-bit helper removes from.
    if (TestsTheShippedBuild())
        CopyTestFile(TestProgramsBuild() + L"package\\TOVRA.EXB", folder + L"TOVRA.EXB");
}

std::wstring WindowsDirectory()
{
    wchar_t buffer[MAX_PATH];
    const UINT length = GetWindowsDirectoryW(buffer, MAX_PATH);
    return std::wstring(buffer, length);
}

namespace {

// The INFs in `folder` (ending in "\\") with the bytes of `inf`, by name.
std::vector<std::wstring> CopiesIn(const std::wstring& folder, const std::string& inf)
{
    std::vector<std::wstring> copies;
    WIN32_FIND_DATAW found;
    const HANDLE search = FindFirstFileW((folder + L"*.inf").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE)
        return copies;
    do {
        if (found.nFileSizeLow == inf.size() && ReadWholeFile(folder + found.cFileName) == inf)
            copies.push_back(found.cFileName);
    } while (FindNextFileW(search, &found));
    FindClose(search);
    return copies;
}

bool FolderHoldsCopyOf(const std::wstring& folder, const std::string& inf)
{
    return !CopiesIn(folder, inf).empty();
}

} // namespace

std::vector<std::wstring> DriverStoreCopiesOf(const std::string& inf)
{
    return CopiesIn(WindowsDirectory() + L"\\inf\\", inf);
}

void RemoveFromDriverStore(const std::string& inf)
{
    const std::wstring infFolder = WindowsDirectory() + L"\\inf\\";
    // A copy of a read-only INF is read-only too: it loses that first.
    const auto remove = [](const std::wstring& path) {
        SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
        if (!DeleteFileW(path.c_str()) && GetLastError() != ERROR_FILE_NOT_FOUND)
            ThrowLastError("cannot remove " + Utf8(path) + " from the driver store");
    };
    for (const std::wstring& copy : DriverStoreCopiesOf(inf)) {
        remove(infFolder + copy);
        remove(infFolder + copy.substr(0, copy.size() - 4) + L".pnf");
    }
    // Wine 10 also keeps each package in a folder of its own (a 32-bit setup's under
    // syswow64), and while that is there it adds the same package to the inf folder no more.
    for (const wchar_t* system : {L"\\system32", L"\\syswow64"}) {
        const std::wstring repository = WindowsDirectory() + system + L"\\driverstore\\filerepository\\";
        std::vector<std::wstring> packages;
        WIN32_FIND_DATAW found;
        const HANDLE search = FindFirstFileW((repository + L"*").c_str(), &found);
        if (search == INVALID_HANDLE_VALUE)
            continue;
        do {
            const std::wstring package = repository + found.cFileName + L"\\";
            if ((found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0 && found.cFileName[0] != L'.' &&
                FolderHoldsCopyOf(package, inf))
                packages.push_back(package);
        } while (FindNextFileW(search, &found));
        FindClose(search);
        for (const std::wstring& package : packages)
            RemoveTree(package);
    }
}

bool IsLink(const std::wstring& path)
{
    const DWORD attributes = GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
}

namespace {

// Runs a Unix program through Wine, which starts one named by its Z: path; `make` gives
// the command line from Unix names of `paths`. Wine does not wait for such a program to
// end: true once `done`, false when it is not after 10 s. Throws when Wine cannot start it.
bool RunThroughWine(const std::vector<std::wstring>& paths,
    const std::function<std::wstring(const std::vector<std::wstring>&)>& make, const std::function<bool()>& done)
{
    using UnixFileName = char*(CDECL*)(const wchar_t*);
    const auto unixFileName = reinterpret_cast<UnixFileName>(
        reinterpret_cast<void (*)()>(GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "wine_get_unix_file_name")));
    if (unixFileName == nullptr)
        throw std::runtime_error("this is not Wine");
    std::vector<std::wstring> unixPaths;
    for (const std::wstring& path : paths) {
        char* name = unixFileName(path.c_str());
        if (name == nullptr)
            throw std::runtime_error("no Unix name for " + Utf8(path));
        unixPaths.emplace_back(name, name + std::strlen(name)); // the test paths are ASCII
        HeapFree(GetProcessHeap(), 0, name);
    }
    std::wstring command = make(unixPaths);
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    if (!CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process))
        ThrowLastError("cannot start " + Utf8(command));
    // Wine starts a Unix program without a Windows process: hProcess stays null and hThread
    // holds a value that is no handle of ours (closing it closed this process's HKLM).
    if (process.hProcess != nullptr) {
        CloseHandle(process.hThread);
        CloseHandle(process.hProcess);
    }
    for (int waited = 0; waited < 10000; waited += 20) {
        if (done())
            return true;
        Sleep(20);
    }
    return done();
}

} // namespace

void MakeFolderLink(const std::wstring& link, const std::wstring& target)
{
    if (CreateSymbolicLinkW(link.c_str(), target.c_str(), SYMBOLIC_LINK_FLAG_DIRECTORY) && IsLink(link))
        return;
    // Wine's CreateSymbolicLinkW says yes and makes nothing: make a Unix link, which Wine
    // shows as a folder with FILE_ATTRIBUTE_REPARSE_POINT, as Windows shows its own.
    if (!RunThroughWine(
            {target, link}, [](const auto& unix) { return L"Z:\\bin\\ln -s " + unix[0] + L" " + unix[1]; },
            [&] { return IsLink(link); }))
        throw std::runtime_error("ln made no link at " + Utf8(link));
}

std::wstring Sha256OfFile(const std::wstring& path)
{
    const std::string bytes = ReadWholeFile(path);
    UCHAR digest[32];
    BCRYPT_ALG_HANDLE sha256 = nullptr;
    BCRYPT_HASH_HANDLE hash = nullptr;
    NTSTATUS status = BCryptOpenAlgorithmProvider(&sha256, BCRYPT_SHA256_ALGORITHM, nullptr, 0);
    if (status == 0 && (status = BCryptCreateHash(sha256, &hash, nullptr, 0, nullptr, 0, 0)) == 0) {
        status = BCryptHashData(
            hash, reinterpret_cast<PUCHAR>(const_cast<char*>(bytes.data())), static_cast<ULONG>(bytes.size()), 0);
        if (status == 0)
            status = BCryptFinishHash(hash, digest, sizeof digest, 0);
        BCryptDestroyHash(hash);
    }
    if (sha256 != nullptr)
        BCryptCloseAlgorithmProvider(sha256, 0);
    if (status != 0)
        throw std::runtime_error("CNG cannot hash: status " + std::to_string(status));
    std::wstring hex;
    for (const UCHAR byte : digest)
        for (const int shift : {4, 0})
            hex += L"0123456789ABCDEF"[(byte >> shift) & 0x0F];
    return hex;
}

namespace {

// Whether a new file can be made in `folder` (and is removed again at once).
bool CanCreateIn(const std::wstring& folder)
{
    const std::wstring probe = folder + L"\\write_probe.tmp";
    const HANDLE file =
        CreateFileW(probe.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_FLAG_DELETE_ON_CLOSE, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    CloseHandle(file);
    return true;
}

} // namespace

UnwritableFolder::UnwritableFolder(std::wstring folder)
    : folder_(std::move(folder))
{
    if (!RunThroughWine(
            {folder_}, [](const auto& unix) { return L"Z:\\bin\\chmod a-w " + unix[0]; },
            [&] { return !CanCreateIn(folder_); }))
        throw std::runtime_error("chmod left " + Utf8(folder_) + " writable");
}

UnwritableFolder::~UnwritableFolder()
{
    RunThroughWine(
        {folder_}, [](const auto& unix) { return L"Z:\\bin\\chmod u+w " + unix[0]; },
        [&] { return CanCreateIn(folder_); });
}

void MakeFileLink(const std::wstring& link, const std::wstring& target)
{
    if (CreateSymbolicLinkW(link.c_str(), target.c_str(), 0) && PathExists(link))
        return;
    if (!RunThroughWine(
            {target, link}, [](const auto& unix) { return L"Z:\\bin\\ln -s " + unix[0] + L" " + unix[1]; },
            [&] { return PathExists(link); }))
        throw std::runtime_error("ln made no link at " + Utf8(link));
}

std::wstring MapDriveLetter(const std::wstring& folder)
{
    std::wstring drive = L"M:";
    while (drive[0] < L'Z' && GetDriveTypeW((drive + L"\\").c_str()) != DRIVE_NO_ROOT_DIR)
        ++drive[0];
    const std::wstring target = folder.back() == L'\\' ? folder.substr(0, folder.size() - 1) : folder;
    if (GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "wine_get_unix_file_name") == nullptr) {
        if (!DefineDosDeviceW(0, drive.c_str(), target.c_str()))
            ThrowLastError("cannot map " + Utf8(drive));
        return drive;
    }
    // Wine's drives are the links in the prefix's dosdevices folder (its DefineDosDeviceW
    // makes a name that no file call follows).
    wchar_t prefix[MAX_PATH] = L"";
    if (GetEnvironmentVariableW(L"WINEPREFIX", prefix, MAX_PATH) == 0)
        throw std::runtime_error("no WINEPREFIX to map a drive letter in");
    std::wstring letter(1, static_cast<wchar_t>(drive[0] - L'A' + L'a'));
    if (!RunThroughWine(
            {target},
            [&](const auto& unix) {
                return L"Z:\\bin\\ln -s " + unix[0] + L" " + prefix + L"/dosdevices/" + letter + L":";
            },
            [&] { return GetDriveTypeW((drive + L"\\").c_str()) != DRIVE_NO_ROOT_DIR; }))
        throw std::runtime_error("ln made no drive " + Utf8(drive));
    return drive;
}

void UnmapDriveLetter(const std::wstring& drive)
{
    if (GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "wine_get_unix_file_name") == nullptr) {
        DefineDosDeviceW(DDD_REMOVE_DEFINITION, drive.c_str(), nullptr);
        return;
    }
    wchar_t prefix[MAX_PATH] = L"";
    GetEnvironmentVariableW(L"WINEPREFIX", prefix, MAX_PATH);
    const std::wstring letter(1, static_cast<wchar_t>(drive[0] - L'A' + L'a'));
    RunThroughWine(
        {}, [&](const auto&) { return L"Z:\\bin\\rm " + std::wstring(prefix) + L"/dosdevices/" + letter + L":"; },
        [&] { return GetDriveTypeW((drive + L"\\").c_str()) == DRIVE_NO_ROOT_DIR; });
}

void RemoveFolderLink(const std::wstring& link)
{
    if (!IsLink(link))
        return;
    // Wine 8 removes no Unix link to a folder through Windows calls: RemoveDirectoryW
    // removes the empty folder it leads to and leaves the link.
    if (GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "wine_get_unix_file_name") == nullptr) {
        if (!RemoveDirectoryW(link.c_str()))
            ThrowLastError("cannot remove the link " + Utf8(link));
        return;
    }
    if (!RunThroughWine(
            {link}, [](const auto& unix) { return L"Z:\\bin\\rm " + unix[0]; }, [&] { return !IsLink(link); }))
        throw std::runtime_error("cannot remove the link " + Utf8(link));
}
