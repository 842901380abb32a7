// The runs for deployment tools: the rules of staging/Deployment.h wired to their Windows
// implementations, with everything logged to the program's log.
#pragma once

#include "staging/Operations.h"

// /S: no window and no message box in any outcome; returns the exit code.
// With `setupSha256`, only a setup with that SHA-256 is started.
unsigned long RunUnattendedPreInstall(unsigned long setupTimeoutSeconds, const std::string& setupSha256);

// /UNINSTALL: tells the outcome once through `window` (a box, or nothing with /S);
// returns the exit code.
unsigned long RunUninstallCommand(WindowOps& window);
