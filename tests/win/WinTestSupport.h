// Helpers for the tests that run under Wine: scratch folders and whole-file access.
#pragma once

#include <string>
#include <vector>

// A new empty folder under the temporary directory, removed with its contents at the end.
class ScratchFolder {
public:
    explicit ScratchFolder(const std::wstring& name);
    ~ScratchFolder();
    ScratchFolder(const ScratchFolder&) = delete;
    ScratchFolder& operator=(const ScratchFolder&) = delete;
    const std::wstring& Path() const { return path_; } // with a trailing backslash

private:
    std::wstring path_;
};

// Sets an environment variable of this process, and so of the programs it starts, for one scope.
class ScopedVariable {
public:
    ScopedVariable(const wchar_t* name, const std::wstring& value);
    ~ScopedVariable();
    ScopedVariable(const ScopedVariable&) = delete;
    ScopedVariable& operator=(const ScopedVariable&) = delete;

private:
    const wchar_t* name_;
};

// Removes a folder and what is in it; a link in it is removed as a link, never followed.
void RemoveTree(const std::wstring& folder);
// Whether `path` is a symbolic link or junction.
bool IsLink(const std::wstring& path);
// Makes `link` a symbolic link to the folder `target`; throws with the reason when it cannot.
void MakeFolderLink(const std::wstring& link, const std::wstring& target);
// Removes such a link, never its target.
void RemoveFolderLink(const std::wstring& link);
// A free drive letter ("M:") made to lead to `folder`, as SUBST does; and its removal.
std::wstring MapDriveLetter(const std::wstring& folder);
void UnmapDriveLetter(const std::wstring& drive);
// The SHA-256 of a file in upper-case hexadecimal, computed with CNG (not the program's way).
std::wstring Sha256OfFile(const std::wstring& path);
// Takes the write permission on `folder` from everyone (chmod a-w) for the life of the
// object, under Wine: not even its owner can then create or delete in it.
class UnwritableFolder {
public:
    explicit UnwritableFolder(std::wstring folder);
    ~UnwritableFolder();
    UnwritableFolder(const UnwritableFolder&) = delete;
    UnwritableFolder& operator=(const UnwritableFolder&) = delete;

private:
    std::wstring folder_;
};
// A symbolic link to a file (under Wine a Unix one, which Wine shows as a plain file).
void MakeFileLink(const std::wstring& link, const std::wstring& target);
std::string ReadWholeFile(const std::wstring& path);
void WriteWholeFile(const std::wstring& path, const std::string& bytes);
bool PathExists(const std::wstring& path);
// Whether a plain copy onto the file at `path` fails, as it must when the file is
// read-only. (Wine running as root writes read-only files, and a test of them proves nothing.)
bool PlainCopyOntoFails(const std::wstring& path);
// Waits until `path` exists and is not empty; false after `milliseconds`.
bool WaitForFile(const std::wstring& path, unsigned milliseconds);
// The Windows build under test, as Wine sees it, with a trailing backslash: the folder
// that PREINSTALL_BUILD names (set by wine.sh from the test's suite).
std::wstring BuildUnderTest();
// The 32-bit build ships its 64-bit store helper beside the program. Whether the build under
// test is that one, and the folder of this 64-bit build (that of the test programs).
inline constexpr const wchar_t* kStoreHelper = L"preinstall_store64.exe";
bool TestsTheShippedBuild();
std::wstring TestProgramsBuild();
// Its stand-in driver package folder, and its test builds and probes (tests/variants).
std::wstring StandInPackage();
std::wstring VariantProgram(const std::wstring& fileName);
// Copies a file over any file at `to`; throws with the system's reason when it cannot.
void CopyTestFile(const std::wstring& from, const std::wstring& to);
// Copies the stand-in driver package into `folder` (which ends in a backslash).
void CopyStandInPackage(const std::wstring& folder);
// The Windows directory, without a trailing backslash.
std::wstring WindowsDirectory();
// The driver store's copies of an INF (its bytes): the INFs of the same bytes in the
// Windows directory's inf folder, by name; and their removal, with their .pnf files.
std::vector<std::wstring> DriverStoreCopiesOf(const std::string& inf);
void RemoveFromDriverStore(const std::string& inf);
