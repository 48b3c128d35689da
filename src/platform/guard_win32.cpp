#include "platform/guard_win32.h"

#include <string>

#include "platform/message_box_win32.h"
#include "platform/text_win32.h"

namespace tovalin::platform {

void ReportFailure(const char* where, const char* what) noexcept {
    try {
        std::wstring text = L"予期しないエラーが発生しました。\n(" + FromUtf8(where) + L": " +
                            FromUtf8(what) + L")";
        ShowMessage(text, kAppTitle, MB_ICONERROR);
    } catch (...) {
        ::MessageBoxW(nullptr, L"予期しないエラーが発生しました。", kAppTitle,
                      MB_OK | MB_ICONERROR);
    }
}

}  // namespace tovalin::platform
