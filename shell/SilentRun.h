// The unattended run (/S): the pre-install procedure with no window and no message box in
// any outcome, for deployment tools that start the program as SYSTEM and read only its
// exit code.
#pragma once

#include "staging/PreInstall.h"

// The procedure's window operations when there is no window: what it tells the user is
// already in the log, and there is nothing to enable or show.
class NoWindowOps : public WindowOps {
public:
    std::string ExecutablePath() override;
    void ShowMessage(const std::string&, const std::string&, unsigned) override { }
    void SetPreInstallButtonEnabled(bool) override { }
    void ShowSuccessLabel() override { }
};

// Runs the procedure, waits for the setup program it starts (at most `setupTimeoutSeconds`:
// then 1460, with the setup and what it started ended) and returns the exit code (see
// DeploymentExitCode; 1618 while another unattended run holds the lock, 1603 for anything
// unexpected). Everything goes to the program's log.
unsigned long RunSilently(unsigned long setupTimeoutSeconds);

// /UNINSTALL: removes what was installed under the same lock, and the marker; tells the
// outcome once through `window` (a box, or nothing when unattended). 0 also when there was
// nothing to remove, otherwise the first failing step's code.
unsigned long RunUninstall(WindowOps& window);
