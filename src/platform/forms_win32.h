// The program's forms: window classes with one default instance each, made by the first touch
// (which runs the form's load step before it returns) and unloaded into a retirement list that
// the main loop frees between messages, so that no handler still running on a form finds it
// freed under its feet.
#pragma once

#include "platform/window_win32.h"

#include <memory>
#include <stdexcept>
#include <string>

namespace tovalin::platform {

// Keeps an unloaded window object alive until no handler can still be running on it.
void RetireWindow(std::unique_ptr<Window> window);
// Frees the retired windows; called from the top of the message loop, where no handler runs.
void FreeRetiredWindows();

// A form's window could not be made; what() is the Japanese message (UTF-8).
class FormNotCreated : public std::runtime_error {
  public:
    FormNotCreated(const wchar_t* formName, DWORD error);
};

// Base of a form T (CRTP). T names itself in `static constexpr const wchar_t* kName`, describes
// its window in `static WindowSpec Description()`, and may hide the load and unload steps with its
// own Form_Load() and Form_Unload(); it befriends Form<T> when they are private. A form that nobody
// sees until it is shown may declare `static constexpr bool kWindowWhenShown = true`: the first
// touch then makes only the object, and the form makes its window (and runs its load step) when
// it is shown.
template <typename T>
class Form : public Window {
  public:
    // The default instance; the first touch creates its window and runs its load step.
    static T& Get() {
        if (!slot_) {
            slot_.reset(new T());
            T& form = *slot_;
            if constexpr (!WindowWhenShown()) {
                form.CreateOrThrow();
                form.Form_Load();
            }
        }
        return *slot_;
    }
    static T* IfLoaded() { return slot_.get(); }

    // Runs the unload step, destroys the window and retires the object.
    static void Unload() {
        if (!slot_)
            return;
        slot_->Form_Unload();
        std::unique_ptr<T> gone = std::move(slot_);
        gone->DestroyNow();
        RetireWindow(std::move(gone));
    }

  protected:
    void Form_Load() {}
    void Form_Unload() {}

    // Creates this object's window from T's description.
    void CreateOrThrow() {
        if (!Create(T::Description()))
            throw FormNotCreated(T::kName, ::GetLastError());
    }

  private:
    static constexpr bool WindowWhenShown() {
        if constexpr (requires { T::kWindowWhenShown; })
            return T::kWindowWhenShown;
        return false;
    }

    static inline std::unique_ptr<T> slot_;
};

}  // namespace tovalin::platform
