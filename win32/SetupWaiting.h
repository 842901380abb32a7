// The waits of a run while its setup works: on the setup's process and on a change
// notification for the driver store's inf folder, with a time limit. How the thread waits
// (blocked, or answering its window) is the subclass's.
#pragma once

#include "staging/Interfaces.h"

#include <windows.h>

#include <vector>

class SetupHandleWaiting : public SetupWaiting {
public:
    SetupHandleWaiting() = default;
    ~SetupHandleWaiting() override;
    SetupHandleWaiting(const SetupHandleWaiting&) = delete;
    SetupHandleWaiting& operator=(const SetupHandleWaiting&) = delete;

    void WatchFolder(const std::string& folder) override;
    bool Wait(const StartedProgram& program, unsigned long milliseconds) override;

protected:
    // Returns when one of `handles` is signalled or `milliseconds` have passed; false when
    // the run is to stop waiting.
    virtual bool WaitOn(const std::vector<HANDLE>& handles, DWORD milliseconds) = 0;

private:
    HANDLE folderChange_ = INVALID_HANDLE_VALUE;
    bool processEndSeen_ = false;
};

// An unattended run: the thread only waits.
class BlockingWaiting final : public SetupHandleWaiting {
public:
    using SetupHandleWaiting::SetupHandleWaiting;

protected:
    bool WaitOn(const std::vector<HANDLE>& handles, DWORD milliseconds) override;
};
