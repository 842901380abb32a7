#include "ui/Unit1.h"

#include "win32/SetupWaiting.h"

TForm1* Form1 = nullptr;

namespace {

// The pre-install procedure's view of this window.
class Form1WindowOps final : public WindowOps {
public:
    explicit Form1WindowOps(TForm1& form)
        : form_(form)
    {
    }
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

void TForm1::UsePreInstall(const WindowPreInstall& preInstall)
{
    preInstall_ = &preInstall;
}

void TForm1::Button1Click(TObject*)
{
    if (preInstall_ == nullptr)
        throw Exception("TForm1: no pre-install was given to the window");
    Form1WindowOps window(*this);
    WindowWaiting waiting(*this);
    RunWindowPreInstall(window, preInstall_->system, waiting, preInstall_->report, preInstall_->request);
    SetBusy(false);
}

void TForm1::Button2Click(TObject*)
{
    Close();
}
