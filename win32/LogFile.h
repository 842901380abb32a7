// The administrator's log that /LOG asks for: one timestamped line per step, appended to
// a file in UTF-8 (with a byte-order mark when the file is new) and CRLF line ends.
#pragma once

#include "staging/Operations.h"

class FileStepLog final : public StepLog {
public:
    explicit FileStepLog(std::string path)
        : path_(std::move(path))
    {
    }
    // Opens, appends and closes, so that others can read the log at any time. A file that
    // cannot be opened or written costs the line, nothing else.
    void Record(const std::string& line) override;

private:
    std::string path_;
};

// The log of this run of the program: the file that /LOG names, or nowhere.
StepLog& ProgramLog();
void LogToFile(const std::string& path);
