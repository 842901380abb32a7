// The administrator's log that /LOG asks for: one timestamped line per step, appended to
// a file in UTF-8 (with a byte-order mark when the file is new) and CRLF line ends.
#pragma once

#include "staging/Operations.h"

#include <windows.h>

#include <memory>

class FileStepLog final : public StepLog {
public:
    // Takes an open log file, to append to until the run ends; others may read it meanwhile.
    FileStepLog(HANDLE file, bool empty);
    ~FileStepLog() override;
    FileStepLog(const FileStepLog&) = delete;
    FileStepLog& operator=(const FileStepLog&) = delete;
    // A line that cannot be written is lost, nothing else.
    void Record(const std::string& line) override;

private:
    HANDLE file_;
    bool empty_;
};

// Opens a log once for the whole run, only where the path really leads: a log file that is
// a link or has another name, a link on its way, or an existing file that someone other
// than SYSTEM, the Administrators or this account owns, is refused. A new file gets a
// protected DACL (SYSTEM and Administrators full control, Users read). nullptr when refused
// or not opened, with why in `error`.
std::unique_ptr<FileStepLog> OpenLogFile(const std::string& path, unsigned long& error);

// The log of this run of the program: the file that /LOG names, or nowhere (also when that
// file was refused: the exit code and the marker are then the run's record).
StepLog& ProgramLog();
void LogToFile(const std::string& path);
