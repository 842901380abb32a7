// Opening the administrator's log (/LOG) only where its path really leads: the program runs
// as SYSTEM, and an ordinary user may have prepared the path. The opened file must be the
// one the path names, told by its identity on its volume (not by comparing path strings,
// which differ on mapped and SUBST drives and cannot be had from every share), must be no
// link and have no second name, and an existing one must belong to SYSTEM, the
// Administrators or this account where its volume keeps owners (FAT keeps none); on a
// share, also to this computer's own account, which is how a share records a file that
// SYSTEM on this computer created there. Portable.
#pragma once

#include "staging/Interfaces.h"

#include <cstdint>
#include <memory>
#include <string>

// Which file this is: its volume's serial number and its index on that volume. An index of
// 0 is one the file system did not give (some servers): unknown, never a match.
struct FileIdentity {
    unsigned long volumeSerial = 0;
    std::uint64_t index = 0;
    bool operator==(const FileIdentity&) const = default;
};

// What Windows says of an opened file.
struct OpenedFileFacts {
    FileIdentity identity;
    unsigned long links = 1; // its names (hard links)
    bool link = false;       // a junction or symbolic link itself
};

// Who owns a file: SYSTEM, the Administrators group or this account; this computer's own
// account (DOMAIN\\NAME$), as which SYSTEM here reaches other computers; or anyone else.
enum class FileOwner { Trusted, ThisComputer, Other };

// A log file opened for appending.
class LogFile {
public:
    virtual ~LogFile() = default;
    // Whether this open created it.
    virtual bool Created() const = 0;
    virtual Result<OpenedFileFacts> Facts() = 0;
    // Whether its volume keeps owners and permissions (NTFS, most shares; not FAT).
    virtual Result<bool> VolumeKeepsOwners() = 0;
    // Whether it lies on another computer (a share, also through a mapped drive).
    virtual Result<bool> OnAnotherComputer() = 0;
    virtual Result<FileOwner> Owner() = 0;
    // Removes the file this open created (it is empty), and nothing else.
    virtual void RemoveCreated() = 0;
    virtual Result<std::uint64_t> Size() = 0;
    [[nodiscard]] virtual unsigned long Append(const std::string& bytes) = 0;
};

class LogFiles {
public:
    virtual ~LogFiles() = default;
    // `path` made full (relative to the current folder if it is relative).
    virtual Result<std::string> FullPath(const std::string& path) = 0;
    // Whether a junction or symbolic link is at `path` (never followed); false for nothing there.
    virtual bool IsLink(const std::string& path) = 0;
    // Opens a file for appending, others may read it; a new one gets a protected DACL
    // (SYSTEM and Administrators full control, Users read). A link at its own name is opened
    // itself, never followed.
    virtual Result<std::unique_ptr<LogFile>> OpenForAppend(const std::string& fullPath) = 0;
    // The identity of the file `fullPath` leads to, through whatever links are on the way.
    virtual Result<FileIdentity> IdentityOf(const std::string& fullPath) = 0;
};

inline constexpr unsigned long kErrorTooManyLinks = 1142;
inline constexpr unsigned long kErrorInvalidOwner = 1307;

// A log that passed the checks, and whether its identity could be checked: a server that
// gives no file index leaves it unknown (no link was on the way all the same).
struct CheckedLog {
    std::unique_ptr<LogFile> file;
    bool identityUnknown = false;
};

// The log at `path`, opened and checked; a file this open created and then refused is
// removed again.
Result<CheckedLog> OpenCheckedLog(LogFiles& files, const std::string& path);
