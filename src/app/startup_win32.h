// The hidden worker window, created first: its load handler is the start-up sequence, and its
// timer is the motion timer.
#pragma once

#include "platform/window_win32.h"

#include <cstdint>
#include <exception>
#include <string>

namespace tovalin::app {

class frmWork final : public platform::Window {
  public:
    // Created on first touch; the first touch runs Form_Load before it returns.
    static frmWork& Get();
    static frmWork* IfLoaded();
    // Creates the worker without running start-up: hosts the motion timer for a scene built
    // from frames loaded by other means (the Windows-side tests).
    static frmWork& GetWithoutStartup();
    static void Unload();

    platform::Timer Timer1{*this, 1};  // the motion timer

  protected:
    void OnTimer(UINT_PTR id) override;

  private:
    bool Load();
    void Form_Load();
};

// The running executable as the player rebuilds it (folder, base name, ".exe").
std::wstring ExePath();

// Where the package starts in the executable at path: 0 when the file is missing or no image.
std::int32_t EXESize(const std::wstring& path);

// Parses the package of the running executable and unpacks every packaged file into the
// temporary folder. Throws StartupFailure when the package cannot be unpacked.
void ReadPackage();

// A failure that ends start-up; what() is the Japanese text shown to the user (UTF-8).
class StartupFailure : public std::exception {
  public:
    explicit StartupFailure(std::wstring message) : message_(std::move(message)) {}
    const std::wstring& Message() const { return message_; }
    const char* what() const noexcept override { return "start-up failed"; }

  private:
    std::wstring message_;
};

}  // namespace tovalin::app
