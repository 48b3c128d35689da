#include "app/shutdown_win32.h"

#include "app/globals.h"
#include "platform/system_win32.h"
#include "platform/text_win32.h"

#include <vector>

namespace tovalin::app {

namespace {

std::vector<std::unique_ptr<platform::Window>>& Retired() {
    static std::vector<std::unique_ptr<platform::Window>> retired;
    return retired;
}

void (*gTrayRemoval)() = nullptr;

}  // namespace

void RetireWindow(std::unique_ptr<platform::Window> window) {
    if (window)
        Retired().push_back(std::move(window));
}

void FreeRetiredWindows() {
    // Freeing may destroy windows, which sends messages; take the list first.
    std::vector<std::unique_ptr<platform::Window>> gone;
    gone.swap(Retired());
}

void DeleteUnpackedFiles() {
    const std::wstring temp = platform::TempFolderPath();
    const std::size_t count = gTempFiles.size();
    for (std::size_t i = 0; i < count && i < gTempFiles.size(); ++i) {
        platform::Guarded("delete", [&] {
            platform::DeleteFileNow(temp + platform::FromCp932(gTempFiles[i].szFileName));
        });
        platform::PumpPendingMessages();
    }
}

void SetTrayRemoval(void (*remove)()) {
    gTrayRemoval = remove;
}

void RemoveTrayIcon() {
    if (gTrayRemoval)
        gTrayRemoval();
}

void FatalExit(std::wstring_view message) {
    // The message box runs a modal loop; no timer may start new work behind it.
    platform::SuppressAllTimers();
    platform::ShowMessage(message, platform::kAppTitle, MB_ICONERROR);
    RemoveTrayIcon();
    const std::wstring temp = platform::TempFolderPath();
    for (const cFile& file : gTempFiles) {
        platform::DeleteFileNow(temp + platform::FromCp932(file.szFileName));
    }
    platform::EndProcessNow(1);
}

}  // namespace tovalin::app
