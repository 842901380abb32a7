// The main window: the pre-install instructions, the pre-install and exit buttons.
#pragma once

#include "staging/PreInstall.h"
#include "ui/Unit1Form.h"
#include "ui/Windowing.h"

// What a press of the pre-install button works with: the system, the report its runs end
// in and the request (this program, /SETUPSHA256).
struct WindowPreInstall {
    OperatingSystem system;
    RunReport& report;
    PreInstallRequest request;
};

class TForm1 : public TForm {
public:
    TButton* Button1 = nullptr;
    TLabel* Label1 = nullptr;
    TLabel* Label2 = nullptr;
    TLabel* Label3 = nullptr;
    TButton* Button2 = nullptr;
    TLabel* Label4 = nullptr;
    TLabel* Label6 = nullptr;
    TSkinData* SkinData1 = nullptr;
    TSkinCaption* SkinCaption1 = nullptr;
    TLabel* Label8 = nullptr;
    TLabel* Label39 = nullptr;
    TLabel* Label44 = nullptr;
    TLabel* Label42 = nullptr;

    TForm1();
    // Given before the message loop, and kept until it ends.
    void UsePreInstall(const WindowPreInstall& preInstall);
    void Button1Click(TObject* sender);
    void Button2Click(TObject* sender);

private:
    const WindowPreInstall* preInstall_ = nullptr;
};

extern TForm1* Form1;
