// The unattended run's operating-system calls: those of the procedure, except that the
// setup runs in a job object and its wait is bounded. When the time runs out the setup and
// every process it started are ended; what a setup leaves running after it has ended by
// itself is never touched.
#pragma once

#include "staging/Win32SystemOps.h"

class BoundedSetupOps final : public Win32SystemOps {
public:
    BoundedSetupOps(StepLog& log, unsigned long timeoutSeconds);
    ~BoundedSetupOps() override;

    unsigned long StartProgram(const std::string& program, const std::string& parameters,
        const std::string& workingDirectory, unsigned long& processId) override;
    // ERROR_TIMEOUT when the setup had to be ended.
    unsigned long WaitForStartedProgram(unsigned long& exitCode) override;

private:
    // Ends what the setup left running at the timeout and logs it.
    void EndTimedOutSetup();

    StepLog& log_;
    unsigned long timeoutSeconds_;
    HANDLE job_ = nullptr; // holds the setup and its descendants, when Windows allows it
    bool setupInJob_ = false;
};
