// Process entry: the application title, the main window and the message loop. Every
// failure that reaches this level is shown once; the exit code is always 0.
#include "resources/ProductName.h"
#include "shell/DllSearch.h"
#include "ui/Unit1.h"

int WINAPI wWinMain(HINSTANCE, HINSTANCE, wchar_t*, int)
{
    RestrictDllSearch();
    try {
        Application->Initialize();
        Application->SetTitle(PRODUCT_NAME);
        Application->CreateForm(Form1);
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
    return 0;
}
