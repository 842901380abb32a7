// Our windowing layer over plain Win32: the application object, forms built from their
// descriptions, labels, push buttons, non-visual components, and the Exception class.
// Strings are UTF-8; they become UTF-16 only where they reach Windows.
#pragma once

#include "ui/FormDescription.h"

#include <windows.h>

#include <functional>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

// The layer's exception: a message for the user.
class Exception : public std::runtime_error {
public:
    explicit Exception(const std::string& message)
        : std::runtime_error(message)
    {
    }
    std::string Message() const { return what(); }
};

class TObject {
public:
    virtual ~TObject() = default;
};

// Something a form owns, known by its name.
class TComponent : public TObject {
public:
    explicit TComponent(std::string name)
        : name_(std::move(name))
    {
    }
    const std::string& Name() const { return name_; }

private:
    std::string name_;
};

// A component with a child window of its own.
class TControl : public TComponent {
public:
    TControl(std::string name, HWND handle)
        : TComponent(std::move(name))
        , handle_(handle)
    {
    }
    HWND Handle() const { return handle_; }
    void SetEnabled(bool enabled);
    void SetVisible(bool visible);

private:
    HWND handle_;
};

class TLabel : public TControl {
public:
    TLabel(std::string name, HWND handle, COLORREF textColor)
        : TControl(std::move(name), handle)
        , textColor_(textColor)
    {
    }
    COLORREF TextColor() const { return textColor_; }

private:
    COLORREF textColor_;
};

using TNotifyEvent = std::function<void(TObject* sender)>;

class TButton : public TControl {
public:
    using TControl::TControl;
    TNotifyEvent OnClick;
    void Click();
};

// A component without a window: it only holds its stored settings.
class TNonVisualComponent : public TComponent {
public:
    TNonVisualComponent(std::string name, std::vector<std::pair<std::string, std::string>> properties)
        : TComponent(std::move(name))
        , properties_(std::move(properties))
    {
    }
    const std::vector<std::pair<std::string, std::string>>& Properties() const { return properties_; }

private:
    std::vector<std::pair<std::string, std::string>> properties_;
};

// Skin settings stored on the form; the window draws with the system's own look.
class TSkinData : public TNonVisualComponent {
public:
    using TNonVisualComponent::TNonVisualComponent;
};
class TSkinCaption : public TNonVisualComponent {
public:
    using TNonVisualComponent::TNonVisualComponent;
};

// A form's member field, bound by name to the component the description creates.
struct FieldBinding {
    std::string name;
    std::function<bool(TComponent*)> assign; // false when the component has the wrong kind
};

template <class T> FieldBinding Bind(std::string name, T*& field)
{
    return {std::move(name), [&field](TComponent* component) {
                field = dynamic_cast<T*>(component);
                return field != nullptr;
            }};
}

// An event method of a form, bound by name to the events of the description.
struct EventBinding {
    std::string name;
    TNotifyEvent handler;
};

class TForm : public TComponent {
public:
    TForm();
    ~TForm() override;
    TForm(const TForm&) = delete;
    TForm& operator=(const TForm&) = delete;

    HWND Handle() const { return handle_; }
    void Show();
    void Close();
    // While busy, the cursor over the form is the "working in the background" arrow.
    void SetBusy(bool busy) { busy_ = busy; }

protected:
    // Builds the window and its components from `description`, then assigns the fields and
    // events. A field or event the description does not match, an event on a component
    // that cannot raise it, or a tab order out of creation order is an Exception.
    void Load(const FormDescription& description, const std::vector<FieldBinding>& fields,
        const std::vector<EventBinding>& events);

private:
    static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    LRESULT HandleMessage(UINT message, WPARAM wParam, LPARAM lParam);
    static void CheckTabOrder(const FormDescription& description);
    void BindClick(const FormDescription& description, const ComponentDescription& component,
        const std::vector<EventBinding>& events);
    void CreateMainWindow(const FormDescription& description);
    void CreateComponent(const ComponentDescription& component, int controlId);
    HFONT FontFor(const FontDescription& font);
    int Scaled(int pixels) const;
    TComponent* FindComponent(const std::string& name) const;
    TControl* FindControl(HWND handle) const;
    TButton* FindButton(int controlId) const;

    HWND handle_ = nullptr;
    HWND focusWhenInactive_ = nullptr;
    bool busy_ = false;
    // The description's pixels are at designDpi_; the window is drawn at screenDpi_.
    int screenDpi_ = 96;
    int designDpi_ = 96;
    COLORREF color_ = 0;
    HBRUSH background_ = nullptr;
    std::vector<std::unique_ptr<TComponent>> components_;
    std::vector<HFONT> fonts_;
};

class TApplication {
public:
    void Initialize();
    void SetTitle(const std::string& title) { title_ = title; }

    // Constructs the form, stores it in `reference`; the first one is the main form.
    template <class TFormClass> void CreateForm(TFormClass*& reference)
    {
        auto form = std::make_unique<TFormClass>();
        reference = form.get();
        if (mainForm_ == nullptr)
            mainForm_ = form.get();
        forms_.push_back(std::move(form));
    }

    // Shows the main form and processes messages until it closes.
    void Run();
    // Processes messages until one of `handles` is signalled or `milliseconds` have passed:
    // the window answers while its program waits. False once the main form has closed (the
    // loop of Run then ends too).
    bool ProcessMessagesWhileWaiting(const std::vector<HANDLE>& handles, DWORD milliseconds);
    void ShowException(const Exception& exception);
    std::string ExeName() const;
    int MessageBox(const std::string& text, const std::string& caption, unsigned flags);

    // Called when the main form's window is destroyed: ends Run.
    void MainFormClosed(const TForm* form);

private:
    HWND MainWindow() const;
    void Dispatch(MSG& message);

    std::string title_;
    TForm* mainForm_ = nullptr;
    std::vector<std::unique_ptr<TForm>> forms_;
};

extern TApplication* Application;
