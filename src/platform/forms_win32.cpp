#include "platform/forms_win32.h"

#include "platform/message_box_win32.h"
#include "platform/text_win32.h"

#include <vector>

namespace tovalin::platform {

namespace {

std::vector<std::unique_ptr<Window>>& Retired() {
    static std::vector<std::unique_ptr<Window>> retired;
    return retired;
}

}  // namespace

void RetireWindow(std::unique_ptr<Window> window) {
    if (window)
        Retired().push_back(std::move(window));
}

void FreeRetiredWindows() {
    // Freeing may destroy windows, which sends messages; take the list first.
    std::vector<std::unique_ptr<Window>> gone;
    gone.swap(Retired());
}

FormNotCreated::FormNotCreated(const wchar_t* formName, DWORD error)
    : std::runtime_error(ToUtf8(L"ウィンドウ「" + std::wstring(formName) +
                                L"」を作成できませんでした。\n" + LastErrorText(error))) {}

}  // namespace tovalin::platform
