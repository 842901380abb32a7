// The administrator's log that /LOG asks for: one timestamped line per step, appended to
// a file in UTF-8 (with a byte-order mark when the file is new) and CRLF line ends, opened
// only where its path really leads (staging/CheckedLog.h).
#pragma once

#include "staging/CheckedLog.h"
#include "staging/Interfaces.h"

#include <windows.h>

#include <memory>

class FileStepLog final : public StepLog {
public:
    // Takes an opened log file, to append to until the run ends; others may read it meanwhile.
    FileStepLog(std::unique_ptr<LogFile> file, bool empty);
    // A line that cannot be written is lost, nothing else.
    void Record(const std::string& line) override;

private:
    std::unique_ptr<LogFile> file_;
    bool empty_;
};

// The log files of Windows: by handle, and identified by volume serial number and file index.
class Win32LogFiles final : public LogFiles {
public:
    Result<std::string> FullPath(const std::string& path) override;
    bool IsLink(const std::string& path) override;
    Result<std::unique_ptr<LogFile>> OpenForAppend(const std::string& fullPath) override;
    Result<FileIdentity> IdentityOf(const std::string& fullPath) override;
};

// Opens a log once for the whole run, checked as staging/CheckedLog.h says.
Result<std::unique_ptr<FileStepLog>> OpenLogFile(const std::string& path);

// The log of this run of the program: the file that /LOG names, or nowhere (also when that
// file was refused: the exit code and the marker are then the run's record).
StepLog& ProgramLog();
void LogToFile(const std::string& path);
