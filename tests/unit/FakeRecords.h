// What a deployment run works with beyond the system, faked: the lock, the check for a
// running setup, the registry keys and the Application log. Each change is journalled.
#pragma once

#include "staging/Deployment.h"
#include "tests/unit/FakeWindow.h"

#include <map>
#include <optional>
#include <string>
#include <vector>

class FakeLock : public RunLock {
public:
    explicit FakeLock(Journal& journal)
        : journal_(journal)
    {
    }
    unsigned long error = 0; // kErrorSharingViolation: another run holds it

    unsigned long Take(const std::string& path) override
    {
        journal_.push_back("lock " + path);
        return error;
    }

private:
    Journal& journal_;
};

class FakeRunningSetup : public RunningSetupCheck {
public:
    bool running = false;
    std::string askedFor;
    std::optional<RunningProcess> StagedSetupRunning(const std::string& stagedSetup) override
    {
        askedFor = stagedSetup;
        return running ? std::optional<RunningProcess>(RunningProcess{77, stagedSetup}) : std::nullopt;
    }
};

// A registry key's values as text, each write journalled under the key's `name` ("marker
// set Installed=1"); a value can be made to fail.
class FakeRegistryKey : public RegistryKey {
public:
    FakeRegistryKey(Journal& journal, std::string name)
        : journal_(journal)
        , name_(std::move(name))
    {
    }
    std::map<std::string, std::string> values;
    std::map<std::string, unsigned long> failures; // by value name; "*" for removing the key
    bool exists = false;

    unsigned long SetNumber(const std::string& name, unsigned long value) override
    {
        return Write(name, std::to_string(value));
    }
    unsigned long SetText(const std::string& name, const std::string& value) override { return Write(name, value); }
    unsigned long SetExpandableText(const std::string& name, const std::string& value) override
    {
        return Write(name, value);
    }
    unsigned long RemoveValue(const std::string& name) override
    {
        journal_.push_back(name_ + " remove " + name);
        if (const unsigned long error = FailureOf(name))
            return error;
        values.erase(name);
        return 0;
    }
    std::optional<std::string> ReadText(const std::string& name) override
    {
        const auto value = values.find(name);
        return value == values.end() ? std::nullopt : std::optional<std::string>(value->second);
    }
    Result<bool> RemoveAll() override
    {
        journal_.push_back(name_ + " remove all");
        if (const unsigned long error = FailureOf("*"))
            return Failed{error};
        const bool removed = exists;
        exists = false;
        values.clear();
        return removed;
    }

private:
    unsigned long FailureOf(const std::string& name) const
    {
        const auto failure = failures.find(name);
        return failure == failures.end() ? 0 : failure->second;
    }
    unsigned long Write(const std::string& name, const std::string& value)
    {
        journal_.push_back(name_ + " set " + name + "=" + value);
        if (const unsigned long error = FailureOf(name))
            return error;
        values[name] = value;
        exists = true;
        return 0;
    }

    Journal& journal_;
    std::string name_;
};

// The Application log: each event journalled ("event 1000") and kept; reporting can fail.
class FakeEventLog : public EventLog {
public:
    explicit FakeEventLog(Journal& journal)
        : journal_(journal)
    {
    }
    struct Event {
        EventType type;
        unsigned long id;
        std::vector<std::string> strings;
    };
    std::vector<Event> events;
    unsigned long error = 0;

    unsigned long Report(EventType type, unsigned long id, const std::vector<std::string>& strings) override
    {
        journal_.push_back("event " + std::to_string(id));
        if (error == 0)
            events.push_back({type, id, strings});
        return error;
    }

private:
    Journal& journal_;
};

// What a deployment leaves for the administrators' tools, faked.
struct FakeRecords {
    explicit FakeRecords(Journal& journal)
        : marker(journal, "marker")
        , programsEntry(journal, "entry")
        , eventSource(journal, "source")
        , events(journal)
    {
    }
    FakeRegistryKey marker;
    FakeRegistryKey programsEntry;
    FakeRegistryKey eventSource;
    FakeEventLog events;
    operator DeploymentRecords() { return {marker, programsEntry, eventSource}; }
};
