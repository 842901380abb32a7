// Process entry. Without arguments: the application title, the main window and the
// message loop; every failure that reaches this level is shown once, and the exit code
// is always 0. With arguments: the switches of CommandLine.h.
#include "Version.h"
#include "resources/ProductName.h"
#include "shell/CommandLine.h"
#include "shell/ShellTexts.h"
#include "shell/Unattended.h"
#include "staging/PreInstall.h"
#include "staging/Texts.h"
#include "ui/Unit1.h"
#include "win32/DllSearch.h"
#include "win32/LogFile.h"
#include "win32/Sha256.h"
#include "win32/Text.h"

#include <cstdlib>

// What std::terminate calls. The C++ library's own version writes the exception's
// demangled type to standard error, which this windowed program does not have, and links
// the demangler and a printf with it (a seventh of the executable); then it aborts, as
// this one does.
namespace __gnu_cxx {
void __verbose_terminate_handler()
{
    std::abort();
}
} // namespace __gnu_cxx

namespace {

// The window, whose presses end in `report`; with arguments, the report's event tells the
// last press once the window has closed.
int RunWindow(WindowsParts& parts, RunReport& report, const CommandLineRequest& request)
{
    const WindowPreInstall preInstall{parts.system, report, {Application->ExeName(), request.setupSha256}};
    try {
        Application->Initialize();
        Application->SetTitle(PRODUCT_NAME);
        Application->CreateForm(Form1);
        Form1->UsePreInstall(preInstall);
        Application->Run();
    } catch (const Exception& exception) {
        Application->ShowException(exception);
    } catch (...) {
        // Anything else is shown as an error without a message.
        try {
            throw Exception("");
        } catch (const Exception& exception) {
            Application->ShowException(exception);
        }
    }
    report.ReportLastEvent();
    return 0;
}

// A command line the program cannot carry out: nothing is staged. Unattended, only the log
// says so.
int RejectCommandLine(RunReport& report, const CommandLineRequest& request, const std::string& text, unsigned long code)
{
    report.Log().Record(MessageLine(kWarningCaption, text));
    RunSummary summary;
    summary.exitCode = code;
    report.EndWithoutEvent(summary);
    if (!request.silent)
        Application->MessageBox(text, kWarningCaption, kIconExclamation);
    return static_cast<int>(code);
}

// An uninstall with its one box: the outcome, told as the window would tell it.
class BoxOnlyOps final : public NoWindowOps {
public:
    void ShowMessage(const std::string& text, const std::string& caption, unsigned iconFlags) override
    {
        Application->MessageBox(text, caption, iconFlags);
    }
};

} // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, wchar_t*, int)
{
    RestrictDllSearch();
    const std::vector<std::string> arguments = SplitCommandLine(Narrow(GetCommandLineW()));
    const CommandLineRequest request = ParseArguments({arguments.begin() + 1, arguments.end()});
    if (!request.logPath.empty())
        LogToFile(request.logPath);
    WindowsParts parts;
    // Every run with arguments reports one event, but help and a refused command line.
    const bool reportsEvent = arguments.size() > 1;
    RunReport report(request.uninstall ? RunKind::Uninstall : RunKind::Install, ProgramLog(), parts.system.errors,
        parts.system.clock, reportsEvent ? &parts.records.events : nullptr, PREINSTALL_VERSION, request.logPath);
    if (!request.unknownSwitch.empty())
        return RejectCommandLine(
            report, request, UnknownSwitchText(request.unknownSwitch) + "\n\n" + UsageText(), kErrorInvalidParameter);
    if (!request.setupSha256.empty() && !Sha256Available())
        return RejectCommandLine(report, request, NoSha256Text(), kErrorNotSupported);
    if (request.help) {
        if (!request.silent)
            Application->MessageBox(UsageText(), PRODUCT_NAME, kIconInformation);
        return 0;
    }
    if (request.uninstall) {
        NoWindowOps noWindow;
        BoxOnlyOps box;
        return static_cast<int>(
            RunUninstallCommand(parts, report, request.silent ? static_cast<WindowOps&>(noWindow) : box, request));
    }
    if (request.silent)
        return static_cast<int>(RunUnattendedPreInstall(parts, report, request));
    return RunWindow(parts, report, request);
}
