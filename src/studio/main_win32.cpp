// tovalin-studio: makes a character's executable from pictures, with a live preview. Files
// and folders named on the command line (Explorer's "Send to") are added as frames; a last ICO
// file becomes the icon.
#include <windows.h>
#include <commctrl.h>
#include <shellapi.h>

#include <filesystem>
#include <vector>

#include "platform/forms_win32.h"
#include "platform/handles_win32.h"
#include "platform/dpi_win32.h"
#include "platform/guard_win32.h"
#include "platform/text_win32.h"
#include "studio/controls_win32.h"
#include "studio/studio_window_win32.h"

namespace {

using namespace tovalin;

std::vector<std::filesystem::path> CommandLinePaths() {
    int count = 0;
    const platform::UniqueLocalMemory arguments(::CommandLineToArgvW(::GetCommandLineW(), &count));
    std::vector<std::filesystem::path> paths;
    const auto* argv = static_cast<wchar_t**>(arguments.get());
    for (int i = 1; argv && i < count; ++i)
        paths.emplace_back(argv[i]);
    return paths;
}

int RunMessageLoop() {
    MSG msg{};
    while (::GetMessageW(&msg, nullptr, 0, 0) > 0) {
        // Tab and the arrow keys move between the controls as in a dialog.
        const studio::frmStudio* window = studio::frmStudio::IfLoaded();
        if (window && window->hwnd() && ::IsDialogMessageW(window->hwnd(), &msg))
            continue;
        ::TranslateMessage(&msg);
        ::DispatchMessageW(&msg);
        // Back at the top of the loop no handler is running, so unloaded windows can go.
        platform::FreeRetiredWindows();
    }
    platform::FreeRetiredWindows();
    return static_cast<int>(msg.wParam);
}

}  // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int show) {
    // Laid out at the display's own resolution: a system-stretched window is blurred.
    platform::DeclareDpiAwareness();
    const platform::ComApartment com;
    INITCOMMONCONTROLSEX controls{sizeof(controls), ICC_STANDARD_CLASSES | ICC_LISTVIEW_CLASSES};
    ::InitCommonControlsEx(&controls);
    const bool opened = platform::Guarded(
        "start-up", [show] { studio::frmStudio::Get().Open(CommandLinePaths(), show); });
    return opened ? RunMessageLoop() : 1;
}
