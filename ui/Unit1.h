// The main window: the pre-install instructions, the pre-install and exit buttons.
#pragma once

#include "staging/RunSummary.h"
#include "ui/Unit1Form.h"
#include "ui/Windowing.h"

#include <optional>

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
    void Button1Click(TObject* sender);
    void Button2Click(TObject* sender);
};

extern TForm1* Form1;

// The SHA-256 (/SETUPSHA256, lower case) the staged setup must have for the window to
// start it; empty for any.
void RequireSetupSha256(const std::string& sha256);

// What the window's last pre-install came to; nothing before a pre-install has ended.
const std::optional<RunSummary>& LastPreInstall();
