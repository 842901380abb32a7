#include "ui/Unit1.h"

#include "Version.h"

#include "staging/PreInstall.h"
#include "win32/LogFile.h"
#include "win32/SetupWaiting.h"
#include "win32/WindowsSystem.h"

TForm1* Form1 = nullptr;

namespace {

std::string& RequiredSetupSha256()
{
    static std::string sha256;
    return sha256;
}

std::optional<RunSummary>& LastPreInstallSummary()
{
    static std::optional<RunSummary> summary;
    return summary;
}

// The pre-install procedure's view of this window.
class Form1WindowOps final : public WindowOps {
public:
    explicit Form1WindowOps(TForm1& form)
        : form_(form)
    {
    }
    std::string ExecutablePath() override { return Application->ExeName(); }
    void ShowMessage(const std::string& text, const std::string& caption, unsigned iconFlags) override
    {
        form_.SetBusy(false); // the wait, if any, is over
        Application->MessageBox(text, caption, iconFlags);
    }
    void SetPreInstallButtonEnabled(bool enabled) override { form_.Button1->SetEnabled(enabled); }
    void ShowSuccessLabel() override
    {
        form_.SetBusy(false);
        form_.Label8->SetVisible(true);
    }

private:
    TForm1& form_;
};

// The window's wait for the setup: the message loop goes on, so the window repaints, moves
// and can be closed; closing it ends the wait. Meanwhile the cursor says so.
class WindowWaiting final : public SetupHandleWaiting {
public:
    explicit WindowWaiting(TForm1& form)
        : form_(form)
    {
    }

protected:
    bool WaitOn(const std::vector<HANDLE>& handles, DWORD milliseconds) override
    {
        form_.SetBusy(true);
        return Application->ProcessMessagesWhileWaiting(handles, milliseconds);
    }

private:
    TForm1& form_;
};

} // namespace

TForm1::TForm1()
{
    Load(TForm1Description(),
        {Bind("Button1", Button1), Bind("Label1", Label1), Bind("Label2", Label2), Bind("Label3", Label3),
            Bind("Button2", Button2), Bind("Label4", Label4), Bind("Label6", Label6), Bind("SkinData1", SkinData1),
            Bind("SkinCaption1", SkinCaption1), Bind("Label8", Label8), Bind("Label39", Label39),
            Bind("Label44", Label44), Bind("Label42", Label42)},
        {{"Button1Click", [this](TObject* sender) { Button1Click(sender); }},
            {"Button2Click", [this](TObject* sender) { Button2Click(sender); }}});
}

void TForm1::Button1Click(TObject*)
{
    Form1WindowOps window(*this);
    WindowsSystem system;
    WindowWaiting waiting(*this);
    const WindowPreInstallOutcome run =
        RunWindowPreInstall(window, system, waiting, ProgramLog(), RequiredSetupSha256(), PREINSTALL_VERSION);
    if (run.summary)
        LastPreInstallSummary() = run.summary;
    SetBusy(false);
}

const std::optional<RunSummary>& LastPreInstall()
{
    return LastPreInstallSummary();
}

void RequireSetupSha256(const std::string& sha256)
{
    RequiredSetupSha256() = sha256;
}

void TForm1::Button2Click(TObject*)
{
    Close();
}
