// The documents and the usage box against the exit-code table (staging/ExitCodes.cpp) and
// the switch table (shell/CommandLine.cpp): every code and switch they list is in the
// tables, and the lists that claim to be complete hold every one. The documents are read
// from the source tree (PREINSTALL_SOURCE_DIR).
#include "shell/CommandLine.h"
#include "shell/ShellTexts.h"
#include "staging/DeploymentRecords.h"
#include "staging/ExitCodes.h"
#include "staging/RunEvents.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <fstream>
#include <iterator>
#include <map>
#include <optional>
#include <regex>
#include <set>
#include <sstream>
#include <tuple>

namespace {

std::string ReadSourceFile(const std::string& name)
{
    std::ifstream file(std::string(PREINSTALL_SOURCE_DIR) + "/" + name, std::ios::binary);
    EXPECT_TRUE(file) << "cannot read " << name;
    return {std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
}

std::vector<std::string> Lines(const std::string& text)
{
    std::vector<std::string> lines;
    std::istringstream stream(text);
    for (std::string line; std::getline(stream, line);)
        lines.push_back(!line.empty() && line.back() == '\r' ? line.substr(0, line.size() - 1) : line);
    return lines;
}

std::string Trimmed(const std::string& text)
{
    const std::size_t first = text.find_first_not_of(" \t");
    return first == std::string::npos ? std::string() : text.substr(first, text.find_last_not_of(" \t") - first + 1);
}

// The lines under a Markdown heading (the whole heading line), up to the next heading of its
// level or above; none when the document has no such heading.
std::vector<std::string> Section(const std::string& document, const std::string& heading)
{
    const std::size_t level = heading.find_first_not_of('#');
    std::vector<std::string> section;
    bool inside = false;
    for (const std::string& line : Lines(document)) {
        const std::size_t hashes = line.find_first_not_of('#');
        if (inside && hashes != std::string::npos && hashes > 0 && hashes <= level && line[hashes] == ' ')
            break;
        if (inside)
            section.push_back(line);
        inside = inside || line == heading;
    }
    EXPECT_TRUE(inside) << "no heading \"" << heading << "\"";
    return section;
}

// A table row's cells ("|" inside backquotes belongs to the cell).
std::vector<std::string> Cells(const std::string& row)
{
    std::vector<std::string> cells;
    std::string cell;
    bool quoted = false;
    for (const char character : Trimmed(row).substr(1)) {
        if (character == '`')
            quoted = !quoted;
        if (character == '|' && !quoted) {
            cells.push_back(Trimmed(cell));
            cell.clear();
        } else
            cell += character;
    }
    return cells;
}

// The tables of a section, each as its rows' cells without the header and separator rows.
using Table = std::vector<std::vector<std::string>>;
std::vector<Table> Tables(const std::vector<std::string>& section)
{
    std::vector<Table> tables;
    bool inTable = false;
    std::size_t rowInTable = 0;
    for (const std::string& line : section) {
        const bool isRow = Trimmed(line).rfind('|', 0) == 0;
        if (isRow && !inTable)
            tables.emplace_back();
        inTable = isRow;
        rowInTable = isRow ? rowInTable + 1 : 0;
        if (isRow && rowInTable > 2)
            tables.back().push_back(Cells(line));
    }
    return tables;
}

// A code as the documents write it: a number in decimal or hexadecimal.
std::optional<unsigned long> ParseCode(const std::string& text)
{
    const bool hexadecimal = text.rfind("0x", 0) == 0 || text.rfind("0X", 0) == 0;
    const std::string digits = hexadecimal ? text.substr(2) : text;
    if (digits.empty() || digits.size() > (hexadecimal ? 8u : 10u) ||
        digits.find_first_not_of(hexadecimal ? "0123456789abcdefABCDEF" : "0123456789") != std::string::npos)
        return std::nullopt;
    const unsigned long long value = std::stoull(digits, nullptr, hexadecimal ? 16 : 10);
    if (value > 0xFFFFFFFFull)
        return std::nullopt;
    return static_cast<unsigned long>(value);
}

std::string CodeName(unsigned long code)
{
    return ExitCodeText({CodeFamily::Number, code, nullptr, nullptr});
}

// A code of the table by the name the documents give it: its number, or a family's English label.
std::string DocumentName(const ExitCodeCell& code)
{
    return code.family == CodeFamily::Number ? CodeName(code.number) : code.englishLabel;
}

std::string SignedText(unsigned long code)
{
    return std::to_string(static_cast<long long>(code) - (code >= 0x80000000ul ? 0x100000000ll : 0));
}

// The codes of a code cell ("3010, 1641", "0xE0000247 (3758096967, `NAME`)", "2, 87, other"),
// by the names DocumentName gives, and what its brackets say besides ("3758096967", "-536870329").
struct CodeCell {
    std::vector<std::string> codes;
    std::vector<std::string> bracketed;
};
CodeCell ReadCodeCell(const std::string& cell)
{
    CodeCell read;
    std::string outside;
    std::string inside;
    int depth = 0;
    for (const char character : cell + ",") {
        if (character == '(' && depth++ == 0)
            continue;
        if (character == ')' && --depth == 0) {
            std::istringstream items(inside);
            for (std::string item; std::getline(items, item, ',');)
                read.bracketed.push_back(Trimmed(item));
            inside.clear();
            continue;
        }
        if (depth > 0)
            inside += character;
        else if (character == ',') {
            std::string item = Trimmed(outside);
            std::erase(item, '`');
            if (!item.empty())
                read.codes.push_back(ParseCode(item) ? CodeName(*ParseCode(item)) : item);
            outside.clear();
        } else
            outside += character;
    }
    return read;
}

// Where a failure was found, for its message.
std::string Where(const std::string& file, const std::string& heading)
{
    return file + " under \"" + heading + "\"";
}

// A code cell's signed form and unsigned decimal, where it gives them, are the code's.
void CheckWrittenForms(const std::string& where, const CodeCell& cell, const std::string& signedCell)
{
    std::vector<std::string> forms = cell.bracketed;
    if (!signedCell.empty())
        forms.push_back(signedCell);
    for (const std::string& form : forms) {
        const bool isSigned = form.size() > 1 && form[0] == '-';
        const std::optional<unsigned long> number = ParseCode(isSigned ? form.substr(1) : form);
        if (!number || (!isSigned && *number < 0x80000000ul))
            continue; // a name, or a number that is no other form of the code
        const std::string expected = isSigned ? SignedText(ParseCode(cell.codes.at(0)).value_or(0))
                                              : std::to_string(ParseCode(cell.codes.at(0)).value_or(0));
        EXPECT_TRUE(cell.codes.size() == 1 && form == expected)
            << where << ": " << form << " is not " << cell.codes.at(0) << " written otherwise (" << expected << ")";
    }
}

// An exit-code table (first column: the codes) against the codes the table gives for `kind`.
void CheckCodeTable(const std::string& file, const std::string& heading, const Table& table,
    const std::set<std::string>& expected, const std::string& runs)
{
    std::set<std::string> listed;
    for (const auto& row : table) {
        const CodeCell cell = ReadCodeCell(row.at(0));
        CheckWrittenForms(Where(file, heading), cell, row.size() > 2 ? row[1] : "");
        for (const std::string& code : cell.codes) {
            listed.insert(code);
            EXPECT_TRUE(expected.count(code))
                << Where(file, heading) << " lists " << code
                << ", which the exit-code table (staging/ExitCodes.cpp) does not give " << runs;
        }
    }
    for (const ExitCodeRow& row : ExitCodeTable()) {
        const std::string name = DocumentName(row.code);
        EXPECT_TRUE(!expected.count(name) || listed.count(name))
            << Where(file, heading) << " has no row for " << name << " (" << row.english << ")";
    }
}

std::set<std::string> NamesListedUnder(RunKind kind)
{
    std::set<std::string> names;
    for (const ExitCodeRow& row : ExitCodeTable())
        if (ListedUnder(row, kind))
            names.insert(DocumentName(row.code));
    return names;
}

std::set<unsigned long> NumberedCodes()
{
    std::set<unsigned long> codes;
    for (const ExitCodeRow& row : ExitCodeTable())
        if (row.code.family == CodeFamily::Number)
            codes.insert(row.code.number);
    return codes;
}

// The switches of a table's first column, as written between backquotes: "/S", "/TIMEOUT=SECONDS".
std::set<std::string> SwitchesListed(const Table& table)
{
    std::set<std::string> listed;
    for (const auto& row : table) {
        const std::string& cell = row.at(0);
        for (std::size_t open = cell.find('`'); open != std::string::npos; open = cell.find('`', open + 1)) {
            const std::size_t close = cell.find('`', open + 1);
            listed.insert(cell.substr(open + 1, close - open - 1));
            open = close;
        }
    }
    return listed;
}

// A switch table against the switch table: every switch it lists is one; with `everyName`
// each name of each switch is there, otherwise at least one.
void CheckSwitches(const std::string& where, const std::set<std::string>& listed, bool english, bool everyName)
{
    std::set<std::string> known;
    for (const CommandLineSwitch& item : CommandLineSwitches()) {
        bool anyListed = false;
        for (const char* name : item.names) {
            if (!name)
                continue;
            const std::string text = SwitchText(item, name, english);
            known.insert(text);
            anyListed = anyListed || listed.count(text);
            EXPECT_TRUE(!everyName || listed.count(text))
                << where << " has no row for " << text << " (" << item.english << ")";
        }
        EXPECT_TRUE(everyName || anyListed)
            << where << " has no row for " << SwitchText(item, item.names[0], english) << " (" << item.english << ")";
    }
    for (const std::string& text : listed)
        EXPECT_TRUE(known.count(text)) << where << " lists " << text
                                       << ", which the switch table (shell/CommandLine.cpp) does not have";
}

// The codes running text writes in hexadecimal ("0xE0000247") or signed ("-536870329"), as
// the table's numbers: written so, a number is nothing but an exit code.
std::vector<std::pair<std::string, unsigned long>> WrittenCodes(const std::string& text)
{
    static const std::regex written(R"((^|[^\w-])(0x[0-9A-Fa-f]{8}|-[0-9]{9,10})(?!\w|\.[0-9]))");
    std::vector<std::pair<std::string, unsigned long>> codes;
    for (auto match = std::sregex_iterator(text.begin(), text.end(), written); match != std::sregex_iterator();
         ++match) {
        const std::string code = (*match)[2];
        const unsigned long long number =
            code[0] == '-' ? 0x100000000ull - std::stoull(code.substr(1)) : std::stoull(code.substr(2), nullptr, 16);
        codes.emplace_back(code, static_cast<unsigned long>(number));
    }
    return codes;
}

// Every code a document writes in hexadecimal or signed is a code of the table.
void CheckWrittenCodes(const std::string& file)
{
    const std::set<unsigned long> codes = NumberedCodes();
    for (const auto& [text, code] : WrittenCodes(ReadSourceFile(file)))
        EXPECT_TRUE(codes.count(code)) << file << " mentions " << text
                                       << ", which is no exit code of the table (staging/ExitCodes.cpp)";
}

// Whether `text` has `number` standing on its own, not as part of a longer number or a version.
bool MentionsNumber(const std::string& text, const std::string& number)
{
    return std::regex_search(text, std::regex("(^|[^0-9A-Za-z.])" + number + "([^0-9A-Za-z.]|$)"));
}

TEST(Documents, CommandLineMdListsEachRunsCodes)
{
    const std::string file = "docs/command-line.md";
    const std::string document = ReadSourceFile(file);
    for (const auto& [heading, kind, runs] : {std::tuple{"## Exit codes of `/S`", RunKind::Install, "for /S"},
             std::tuple{"## Exit codes of `/UNINSTALL`", RunKind::Uninstall, "for /UNINSTALL"}}) {
        const std::vector<Table> tables = Tables(Section(document, heading));
        ASSERT_FALSE(tables.empty()) << Where(file, heading) << ": no table";
        CheckCodeTable(file, heading, tables[0], NamesListedUnder(kind), runs);
    }
}

// The event table: each event id once, and the codes it names give that event.
TEST(Documents, CommandLineMdNamesEachEventsCodes)
{
    const std::string file = "docs/command-line.md";
    const std::string heading = "## The event";
    const std::vector<Table> tables = Tables(Section(ReadSourceFile(file), heading));
    ASSERT_FALSE(tables.empty()) << Where(file, heading) << ": no table";
    std::set<unsigned long> listed;
    for (const auto& row : tables[0]) {
        ASSERT_EQ(row.size(), 3u) << Where(file, heading) << ": " << row.at(0);
        const unsigned long id = ParseCode(row[0]).value_or(0);
        listed.insert(id);
        const std::string& when = row[2];
        const CodeCell codes = ReadCodeCell(when);
        const EventType type = row[1] == "information" ? EventType::Information
            : row[1] == "warning"                      ? EventType::Warning
                                                       : EventType::Error;
        std::vector<RunKind> kinds;
        if (when.find("uninstall") != std::string::npos)
            kinds = {RunKind::Uninstall};
        else if (when.find("install") != std::string::npos)
            kinds = {RunKind::Install};
        else
            kinds = {RunKind::Install, RunKind::Uninstall};
        // Each code it names gives it in a run of its kind ("install", "uninstall", or either).
        for (const std::string& bracketed : codes.bracketed) {
            for (const std::string& code : ReadCodeCell(bracketed).codes) {
                const std::optional<unsigned long> number = ParseCode(code);
                if (!number)
                    continue; // "any other code"
                bool gives = false;
                unsigned long given = 0;
                for (const RunKind kind : kinds) {
                    const RunEvent event = EventFor(kind, *number);
                    gives = gives || (event.id == id && event.type == type);
                    given = event.id;
                }
                EXPECT_TRUE(gives) << Where(file, heading) << ": " << code << " gives event " << given << ", not " << id
                                   << " (" << row[1] << ")";
            }
        }
    }
    for (const unsigned long id : kEventIds)
        EXPECT_TRUE(listed.count(id)) << Where(file, heading) << " has no row for event " << id;
    EXPECT_EQ(listed.size(), std::size(kEventIds)) << Where(file, heading) << " lists an event the program has not";
}

TEST(Documents, ReadmeListsEveryCode)
{
    const std::string file = "README.md";
    const std::string heading = "## Command line in short";
    const std::vector<Table> tables = Tables(Section(ReadSourceFile(file), heading));
    ASSERT_EQ(tables.size(), 2u) << Where(file, heading) << ": a table of switches and one of codes";
    std::set<std::string> everyCode;
    for (const ExitCodeRow& row : ExitCodeTable())
        everyCode.insert(DocumentName(row.code));
    // A short table: each number, and of the families those it names.
    std::set<std::string> named;
    for (const auto& row : tables[1])
        for (const std::string& code : ReadCodeCell(row.at(0)).codes)
            named.insert(code);
    for (const ExitCodeRow& row : ExitCodeTable())
        if (row.code.family != CodeFamily::Number && !named.count(row.code.englishLabel))
            everyCode.erase(row.code.englishLabel);
    CheckCodeTable(file, heading, tables[1], everyCode, "at all");
}

TEST(Documents, SwitchTablesListEverySwitch)
{
    const std::string commandLine = "docs/command-line.md";
    const std::vector<Table> switches = Tables(Section(ReadSourceFile(commandLine), "## Switches"));
    ASSERT_FALSE(switches.empty());
    CheckSwitches(Where(commandLine, "## Switches"), SwitchesListed(switches[0]), true, true);

    const std::string readme = "README.md";
    const std::vector<Table> inShort = Tables(Section(ReadSourceFile(readme), "## Command line in short"));
    ASSERT_FALSE(inShort.empty());
    CheckSwitches(Where(readme, "## Command line in short"), SwitchesListed(inShort[0]), true, false);
}

// The release's Chinese guide: UTF-8 in the source tree (scripts/release writes it as UTF-16).
TEST(Documents, ChineseGuideListsEverySwitchAndCode)
{
    const std::string file = "resources/使用说明.txt";
    const std::string guide = ReadSourceFile(file);
    ASSERT_NE(guide.rfind("\xEF\xBB\xBF", 0), 0u) << file << " is UTF-8 without a byte-order mark";

    // The switch list of "四、批量部署": after "命令行参数", the lines indented by four blanks
    // or more; each switch at the start of its own, its explanation after two blanks.
    std::set<std::string> listed;
    bool inList = false;
    for (const std::string& line : Lines(guide)) {
        if (inList && line.rfind("    ", 0) != 0)
            break;
        if (inList && line.rfind("    /", 0) == 0) {
            std::istringstream names(Trimmed(line.substr(0, line.find("  ", 4))));
            for (std::string name; names >> name;)
                if (name != "或")
                    listed.insert(name);
        }
        inList = inList || line.find("命令行参数") != std::string::npos;
    }
    EXPECT_TRUE(inList) << file << " has no switch list (\"命令行参数\")";
    CheckSwitches(file + "'s switch list", listed, false, false);

    // Its exit codes are running text: each code of the table is there, and each code written
    // as one is one.
    CheckWrittenCodes(file);
    for (const unsigned long code : NumberedCodes())
        EXPECT_TRUE(MentionsNumber(guide, CodeName(code))) << file << " does not mention " << CodeName(code);
}

TEST(Documents, DeployingMdMentionsOnlyCodesOfTheTable)
{
    CheckWrittenCodes("docs/deploying.md");
}

// The usage box: every code of each run's list under its heading, each switch.
TEST(Documents, UsageBoxListsEveryCodeAndSwitch)
{
    const std::string usage = UsageText();
    for (const auto& [heading, kind] : {std::pair{"静默预装的退出代码：", RunKind::Install},
             std::pair{"卸载（/UNINSTALL）的退出代码：", RunKind::Uninstall}}) {
        std::set<std::string> listed;
        bool inside = false;
        for (const std::string& line : Lines(usage)) {
            if (inside && line.empty())
                break;
            if (inside)
                listed.insert(line.substr(0, line.find('\t')));
            inside = inside || line == heading;
        }
        EXPECT_TRUE(inside) << "the usage box has no line \"" << heading << "\"";
        for (const ExitCodeRow& row : ExitCodeTable()) {
            if (ListedUnder(row, kind)) {
                EXPECT_TRUE(listed.count(ExitCodeText(row.code)))
                    << "the usage box lacks " << ExitCodeText(row.code) << " under \"" << heading << "\"";
            }
        }
    }
    for (const CommandLineSwitch& item : CommandLineSwitches()) {
        for (const char* name : item.names) {
            if (name) {
                EXPECT_NE(usage.find(SwitchText(item, name)), std::string::npos) << "the usage box lacks " << name;
            }
        }
    }
}

// A registry value's type as the documents write it.
std::string TypeName(const RegistryData& data)
{
    return std::holds_alternative<unsigned long>(data) ? "REG_DWORD" : "REG_SZ";
}

// The values a table documents, by name (a row may name several: "`NoModify`, `NoRepair`"),
// with its type column.
std::map<std::string, std::string> DocumentedValues(const std::string& file, const std::string& heading)
{
    const std::vector<Table> tables = Tables(Section(ReadSourceFile(file), heading));
    EXPECT_FALSE(tables.empty()) << Where(file, heading) << ": no table";
    std::map<std::string, std::string> values;
    for (const auto& row : tables.empty() ? Table{} : tables[0])
        for (std::size_t open = row.at(0).find('`'); open != std::string::npos;
             open = row[0].find('`', row[0].find('`', open + 1) + 1))
            values[row[0].substr(open + 1, row[0].find('`', open + 1) - open - 1)] = row.at(1).substr(0, 9);
    return values;
}

// The marker's and the Programs and Features entry's tables list the values the program
// writes, each with its type, and no other.
TEST(Documents, RegistryTablesListTheValuesTheProgramWrites)
{
    InstallRecord record;
    record.setupExitCode = 0;
    std::map<std::string, std::string> marker;
    for (const MarkerValue& value : kMarkerValues)
        marker[value.name] = TypeName(*value.of(record));
    std::map<std::string, std::string> documented = DocumentedValues("docs/deploying.md", "## The detection marker");
    for (auto& [name, type] : documented)
        type = type.rfind("REG_DWORD", 0) == 0 ? "REG_DWORD" : "REG_SZ";
    EXPECT_EQ(documented, marker) << "docs/deploying.md, \"## The detection marker\"";

    const Places places = PlacesIn("C:\\WINDOWS");
    const EntryFacts facts{places, {}, "2026-12-09 13:00:00", 1};
    std::map<std::string, std::string> entry;
    for (const EntryValue& value : kEntryValues)
        entry[value.name] = TypeName(value.of(facts));
    EXPECT_EQ(DocumentedValues("docs/command-line.md", "## What a successful install leaves"), entry)
        << "docs/command-line.md, \"## What a successful install leaves\"";
}

} // namespace
