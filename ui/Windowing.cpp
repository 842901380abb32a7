#include "ui/Windowing.h"

#include "win32/OptionalFunction.h"
#include "win32/Text.h"

#include <algorithm>

namespace {

TApplication theApplication;

constexpr int kFirstControlId = 100; // clear of IDOK and IDCANCEL, which the dialog keys send
constexpr UINT_PTR kMainIconId = 1;
constexpr int kArrowCursor = 32512;       // OCR_NORMAL
constexpr int kAppStartingCursor = 32650; // OCR_APPSTARTING

// A cursor of the system's, shared: by LoadImage, which Microsoft's reference names in place
// of LoadCursor.
HCURSOR SystemCursor(int id)
{
    return static_cast<HCURSOR>(
        LoadImageW(nullptr, MAKEINTRESOURCEW(id), IMAGE_CURSOR, 0, 0, LR_DEFAULTSIZE | LR_SHARED));
}

COLORREF ColorToRgb(TColor color)
{
    return (color & 0x80000000u) != 0 ? GetSysColor(static_cast<int>(color & 0xFF)) : static_cast<COLORREF>(color);
}

// Dots per inch of the screen the window is drawn on.
int ScreenDpi()
{
    const HDC screen = GetDC(nullptr);
    const int dpi = GetDeviceCaps(screen, LOGPIXELSY);
    ReleaseDC(nullptr, screen);
    return dpi > 0 ? dpi : 96;
}

void ShowAnyException()
{
    try {
        throw;
    } catch (const Exception& exception) {
        Application->ShowException(exception);
    } catch (const std::exception& exception) {
        Application->ShowException(Exception(exception.what()));
    } catch (...) {
        Application->ShowException(Exception(""));
    }
}

// Windows XP creates the themed buttons and labels that the manifest asks for only once
// comctl32 version 6 is loaded and initialised, so this happens before the first control.
// The DLL is loaded by name only when the manifest's side-by-side redirection names it:
// then it comes from the system's assembly store, never from the program's folder.
// Windows 2000 has no side-by-side assemblies and draws the classic controls of user32.
void LoadCommonControls()
{
    using FindSectionFunction = BOOL(WINAPI*)(DWORD, const GUID*, ULONG, LPCWSTR, PACTCTX_SECTION_KEYED_DATA);
    const auto findSection = OptionalFunction<FindSectionFunction>(Kernel32(), "FindActCtxSectionStringW");
    ACTCTX_SECTION_KEYED_DATA redirection{};
    redirection.cbSize = sizeof redirection;
    if (findSection == nullptr ||
        !findSection(0, nullptr, ACTIVATION_CONTEXT_SECTION_DLL_REDIRECTION, L"comctl32.dll", &redirection))
        return;
    using InitCommonControlsFunction = void(WINAPI*)();
    if (const auto initialise =
            OptionalFunction<InitCommonControlsFunction>(LoadLibraryW(L"comctl32.dll"), "InitCommonControls"))
        initialise();
}

} // namespace

TApplication* Application = &theApplication;

// ---- controls

void TControl::SetEnabled(bool enabled)
{
    // A control that loses its enabled state also gives up the focus, to the next one.
    if (!enabled && GetFocus() == handle_)
        SetFocus(GetNextDlgTabItem(GetParent(handle_), handle_, FALSE));
    EnableWindow(handle_, enabled);
}

void TControl::SetVisible(bool visible)
{
    ShowWindow(handle_, visible ? SW_SHOW : SW_HIDE);
}

void TButton::Click()
{
    if (OnClick)
        OnClick(this);
}

// ---- forms

TForm::TForm()
    : TComponent("")
{
}

TForm::~TForm()
{
    if (handle_ != nullptr && IsWindow(handle_)) {
        SetWindowLongPtrW(handle_, GWLP_USERDATA, 0);
        DestroyWindow(handle_);
    }
    for (HFONT font : fonts_)
        DeleteObject(font);
    if (background_ != nullptr)
        DeleteObject(background_);
}

void TForm::Load(const FormDescription& description, const std::vector<FieldBinding>& fields,
    const std::vector<EventBinding>& events)
{
    CheckTabOrder(description);
    screenDpi_ = ScreenDpi();
    designDpi_ = description.pixelsPerInch;
    CreateMainWindow(description);
    int controlId = kFirstControlId;
    for (const ComponentDescription& component : description.components)
        CreateComponent(component, controlId++);

    for (const FieldBinding& field : fields) {
        TComponent* component = FindComponent(field.name);
        if (component == nullptr)
            throw Exception("Form " + description.className + " has no component \"" + field.name + "\"");
        if (!field.assign(component))
            throw Exception("Component \"" + field.name + "\" of form " + description.className +
                " is not of the kind its field expects");
    }
    for (const ComponentDescription& component : description.components)
        if (!component.onClick.empty())
            BindClick(description, component, events);
}

void TForm::BindClick(
    const FormDescription& description, const ComponentDescription& component, const std::vector<EventBinding>& events)
{
    auto* button = dynamic_cast<TButton*>(FindComponent(component.name));
    if (button == nullptr)
        throw Exception("Component \"" + component.name + "\" of form " + description.className +
            " has an OnClick event but is not a button");
    const auto event = std::find_if(
        events.begin(), events.end(), [&](const EventBinding& binding) { return binding.name == component.onClick; });
    if (event == events.end())
        throw Exception("Form " + description.className + " has no event method \"" + component.onClick + "\"");
    button->OnClick = event->handler;
}

// The window moves the focus among the buttons in creation order, and never to a label:
// the stated tab orders must say the same.
void TForm::CheckTabOrder(const FormDescription& description)
{
    int previous = -1;
    for (const ComponentDescription& component : description.components) {
        const bool focusable = component.kind == ComponentKind::Button;
        if (focusable != (component.tabOrder >= 0) || (focusable && component.tabOrder <= previous))
            throw Exception("Component \"" + component.name + "\" of form " + description.className +
                " has a tab order the window cannot follow");
        if (focusable)
            previous = component.tabOrder;
    }
}

void TForm::CreateMainWindow(const FormDescription& description)
{
    const std::wstring className = Widen(description.className);
    const HINSTANCE instance = GetModuleHandleW(nullptr);
    color_ = ColorToRgb(description.color);
    background_ = CreateSolidBrush(color_);

    WNDCLASSEXW windowClass{};
    windowClass.cbSize = sizeof windowClass;
    windowClass.lpfnWndProc = WindowProc;
    windowClass.hInstance = instance;
    windowClass.hIcon = static_cast<HICON>(LoadImageW(instance, MAKEINTRESOURCEW(kMainIconId), IMAGE_ICON,
        GetSystemMetrics(SM_CXICON), GetSystemMetrics(SM_CYICON), 0));
    windowClass.hIconSm = static_cast<HICON>(LoadImageW(instance, MAKEINTRESOURCEW(kMainIconId), IMAGE_ICON,
        GetSystemMetrics(SM_CXSMICON), GetSystemMetrics(SM_CYSMICON), 0));
    windowClass.hCursor = SystemCursor(kArrowCursor);
    windowClass.hbrBackground = background_;
    windowClass.lpszClassName = className.c_str();
    RegisterClassExW(&windowClass);

    // A single fixed border: caption, system menu and the chosen boxes, no sizing frame.
    DWORD style = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_CLIPCHILDREN;
    if (description.minimizeBox)
        style |= WS_MINIMIZEBOX;
    if (description.maximizeBox)
        style |= WS_MAXIMIZEBOX;
    RECT frame{0, 0, Scaled(description.clientWidth), Scaled(description.clientHeight)};
    AdjustWindowRectEx(&frame, style, FALSE, 0);
    const int width = frame.right - frame.left;
    const int height = frame.bottom - frame.top;
    const int left = (GetSystemMetrics(SM_CXSCREEN) - width) / 2;
    const int top = (GetSystemMetrics(SM_CYSCREEN) - height) / 2;

    handle_ = CreateWindowExW(0, className.c_str(), Widen(description.caption).c_str(), style, left, top, width, height,
        nullptr, nullptr, instance, this);
    if (handle_ == nullptr)
        throw Exception("Cannot create the window of form " + description.className);
    // The form's font comes first: controls without a font of their own use it.
    SendMessageW(handle_, WM_SETFONT, reinterpret_cast<WPARAM>(FontFor(description.font)), FALSE);
}

int TForm::Scaled(int pixels) const
{
    return MulDiv(pixels, screenDpi_, designDpi_);
}

HFONT TForm::FontFor(const FontDescription& font)
{
    LOGFONTW logFont{};
    logFont.lfHeight = font.height < 0 ? -Scaled(-font.height) : Scaled(font.height);
    logFont.lfWeight = FW_NORMAL;
    logFont.lfCharSet = static_cast<BYTE>(font.charset);
    logFont.lfQuality = DEFAULT_QUALITY;
    const std::wstring face = Widen(font.name);
    lstrcpynW(logFont.lfFaceName, face.c_str(), LF_FACESIZE);
    const HFONT handle = CreateFontIndirectW(&logFont);
    fonts_.push_back(handle);
    return handle;
}

void TForm::CreateComponent(const ComponentDescription& component, int controlId)
{
    if (component.kind == ComponentKind::SkinData || component.kind == ComponentKind::SkinCaption) {
        if (component.kind == ComponentKind::SkinData)
            components_.push_back(std::make_unique<TSkinData>(component.name, component.properties));
        else
            components_.push_back(std::make_unique<TSkinCaption>(component.name, component.properties));
        return;
    }

    const bool isButton = component.kind == ComponentKind::Button;
    DWORD style = WS_CHILD | (component.visible ? WS_VISIBLE : 0);
    // Labels are fixed boxes with one clipped line of text.
    style |= isButton ? (BS_PUSHBUTTON | WS_TABSTOP) : (SS_LEFTNOWORDWRAP | SS_NOPREFIX);
    const HWND handle = CreateWindowExW(0, isButton ? L"BUTTON" : L"STATIC", Widen(component.caption).c_str(), style,
        Scaled(component.left), Scaled(component.top), Scaled(component.width), Scaled(component.height), handle_,
        reinterpret_cast<HMENU>(static_cast<INT_PTR>(controlId)), GetModuleHandleW(nullptr), nullptr);
    if (handle == nullptr)
        throw Exception("Cannot create control \"" + component.name + "\"");

    const bool ownFont = !component.font.name.empty();
    const HFONT font = ownFont ? FontFor(component.font) : fonts_.front();
    SendMessageW(handle, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);

    if (isButton) {
        components_.push_back(std::make_unique<TButton>(component.name, handle));
    } else {
        const TColor color = ownFont ? component.font.color : clWindowText;
        components_.push_back(std::make_unique<TLabel>(component.name, handle, ColorToRgb(color)));
    }
}

TComponent* TForm::FindComponent(const std::string& name) const
{
    for (const auto& component : components_)
        if (component->Name() == name)
            return component.get();
    return nullptr;
}

TControl* TForm::FindControl(HWND handle) const
{
    for (const auto& component : components_)
        if (auto* control = dynamic_cast<TControl*>(component.get()); control != nullptr && control->Handle() == handle)
            return control;
    return nullptr;
}

TButton* TForm::FindButton(int controlId) const
{
    return dynamic_cast<TButton*>(FindControl(GetDlgItem(handle_, controlId)));
}

void TForm::Show()
{
    ShowWindow(handle_, SW_SHOWNORMAL);
    UpdateWindow(handle_);
    // The focus starts on the first button, the first control in tab order (creation order).
    for (const auto& component : components_) {
        if (const auto* button = dynamic_cast<const TButton*>(component.get());
            button && IsWindowEnabled(button->Handle())) {
            SetFocus(button->Handle());
            break;
        }
    }
}

void TForm::Close()
{
    SendMessageW(handle_, WM_CLOSE, 0, 0);
}

LRESULT CALLBACK TForm::WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_NCCREATE) {
        auto* created = static_cast<TForm*>(reinterpret_cast<const CREATESTRUCTW*>(lParam)->lpCreateParams);
        created->handle_ = window;
        SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(created));
    }
    auto* form = reinterpret_cast<TForm*>(GetWindowLongPtrW(window, GWLP_USERDATA));
    if (form == nullptr)
        return DefWindowProcW(window, message, wParam, lParam);
    // No exception may unwind through Windows: show it and keep the window running.
    try {
        return form->HandleMessage(message, wParam, lParam);
    } catch (...) {
        ShowAnyException();
        return 0;
    }
}

LRESULT TForm::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_COMMAND: {
        const int id = LOWORD(wParam);
        if (id == IDOK) { // Enter: press the focused button
            if (auto* button = dynamic_cast<TButton*>(FindControl(GetFocus()));
                button && IsWindowEnabled(button->Handle()))
                button->Click();
            return 0;
        }
        if (HIWORD(wParam) == BN_CLICKED)
            if (TButton* button = FindButton(id))
                button->Click();
        return 0;
    }
    case WM_CTLCOLORSTATIC: {
        const auto* label = dynamic_cast<TLabel*>(FindControl(reinterpret_cast<HWND>(lParam)));
        const HDC dc = reinterpret_cast<HDC>(wParam);
        SetTextColor(dc, label != nullptr ? label->TextColor() : GetSysColor(COLOR_WINDOWTEXT));
        SetBkColor(dc, color_);
        return reinterpret_cast<LRESULT>(background_);
    }
    case WM_ACTIVATE:
        // Keep the focused control across deactivation, as dialogs do.
        if (LOWORD(wParam) == WA_INACTIVE)
            focusWhenInactive_ = GetFocus();
        else if (focusWhenInactive_ != nullptr && IsChild(handle_, focusWhenInactive_))
            SetFocus(focusWhenInactive_);
        return 0;
    case WM_SETCURSOR:
        if (busy_ && LOWORD(lParam) == HTCLIENT) {
            SetCursor(SystemCursor(kAppStartingCursor));
            return TRUE;
        }
        return DefWindowProcW(handle_, message, wParam, lParam);
    case WM_DESTROY:
        Application->MainFormClosed(this);
        return 0;
    default:
        return DefWindowProcW(handle_, message, wParam, lParam);
    }
}

// ---- application

void TApplication::Initialize()
{
    LoadCommonControls();
}

void TApplication::Run()
{
    if (mainForm_ == nullptr)
        return;
    mainForm_->Show();
    MSG message;
    while (GetMessageW(&message, nullptr, 0, 0) > 0)
        Dispatch(message);
}

void TApplication::Dispatch(MSG& message)
{
    // The dialog keys: Tab and Shift+Tab move the focus, Space and Enter press.
    if (mainForm_ != nullptr && IsDialogMessageW(mainForm_->Handle(), &message))
        return;
    TranslateMessage(&message);
    DispatchMessageW(&message);
}

bool TApplication::ProcessMessagesWhileWaiting(const std::vector<HANDLE>& handles, DWORD milliseconds)
{
    const DWORD start = GetTickCount();
    for (;;) {
        MSG message;
        while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
            if (message.message == WM_QUIT) {
                PostQuitMessage(static_cast<int>(message.wParam)); // for the loop of Run
                return false;
            }
            Dispatch(message);
        }
        const DWORD elapsed = GetTickCount() - start;
        if (elapsed >= milliseconds)
            return true;
        const auto count = static_cast<DWORD>(handles.size());
        const DWORD woken = MsgWaitForMultipleObjectsEx(
            count, handles.data(), milliseconds - elapsed, QS_ALLINPUT, MWMO_INPUTAVAILABLE);
        if (woken != WAIT_OBJECT_0 + count) // a handle, the time, or a failed wait: not a message
            return true;
    }
}

void TApplication::MainFormClosed(const TForm* form)
{
    if (form == mainForm_)
        PostQuitMessage(0);
}

HWND TApplication::MainWindow() const
{
    return mainForm_ != nullptr && IsWindow(mainForm_->Handle()) ? mainForm_->Handle() : nullptr;
}

void TApplication::ShowException(const Exception& exception)
{
    ::MessageBoxW(MainWindow(), Widen(exception.Message()).c_str(), Widen(title_).c_str(), MB_OK | MB_ICONSTOP);
}

std::string TApplication::ExeName() const
{
    return ExecutableFilePath();
}

int TApplication::MessageBox(const std::string& text, const std::string& caption, unsigned flags)
{
    return ::MessageBoxW(MainWindow(), Widen(text).c_str(), Widen(caption).c_str(), flags | MB_OK);
}
