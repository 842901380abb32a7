// The window and the administrator's log, faked: what the procedure shows and records.
// Fakes write to one journal, so the order of what happens can be checked where it matters.
#pragma once

#include "staging/Interfaces.h"

#include <algorithm>
#include <string>
#include <vector>

using Journal = std::vector<std::string>;

class FakeWindow : public WindowOps {
public:
    explicit FakeWindow(Journal& journal)
        : journal_(journal)
    {
    }
    bool buttonEnabled = true;
    bool labelVisible = false;
    std::vector<std::string> messages;

    void ShowMessage(const std::string& text, const std::string& caption, unsigned iconFlags) override
    {
        messages.push_back(text);
        journal_.push_back("message " + caption + " " + std::to_string(iconFlags) + " " + text);
    }
    void SetPreInstallButtonEnabled(bool enabled) override
    {
        buttonEnabled = enabled;
        journal_.push_back(enabled ? "enable button" : "disable button");
    }
    void ShowSuccessLabel() override
    {
        labelVisible = true;
        journal_.push_back("show label");
    }

private:
    Journal& journal_;
};

class RecordingLog : public StepLog {
public:
    std::vector<std::string> lines;
    void Record(const std::string& line) override { lines.push_back(line); }
    bool Has(const std::string& text) const
    {
        return std::any_of(
            lines.begin(), lines.end(), [&](const std::string& line) { return line.find(text) != std::string::npos; });
    }
};
