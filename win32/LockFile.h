// The lock of unattended runs: a file opened without sharing and deleted on close.
// Another run cannot open it and gives way (ERROR_SHARING_VIOLATION, also while Windows
// deletes it for the run that closed it); Windows closes the handle however this run ends,
// and the file goes with it, so a run that was killed blocks nothing.
#pragma once

#include "staging/Deployment.h"

#include <windows.h>

class RunLockFile final : public RunLock {
public:
    RunLockFile() = default;
    ~RunLockFile() override;
    RunLockFile(const RunLockFile&) = delete;
    RunLockFile& operator=(const RunLockFile&) = delete;

    unsigned long Take(const std::string& path) override;

private:
    HANDLE handle_ = INVALID_HANDLE_VALUE; // held until the run ends
};
