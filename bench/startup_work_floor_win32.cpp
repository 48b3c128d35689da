// The start-up benchmark's work floor: what a character's start-up cannot leave out, in the
// player's order, and nothing else.
//
//   tovalin-startup-work-floor.exe CHARACTER.exe
//
// 1. The character's package: the executable mapped, its header read and every record checked
//    with the player's own portable code, then each packaged file written into the temporary
//    folder in one write.
// 2. The tray icon, the character's icon at the small-icon size, taken from the bytes in memory.
// 3. One topmost window of frame 0's size, cut to frame 0's outline. A package stores no
//    outline, only the frame's GIF, so the outline is built the cheapest way there is: the
//    first image decoded by the portable decoder and its region data built straight from the
//    pixels (shape::BuildRegionData), which the system takes as it is.
//
// It links only the portable core and imports what this work needs of the system (kernel32,
// user32, gdi32 for the region, shell32 for the tray icon): the libraries are part of the floor.
#include "package/package.h"
#include "platform/picture.h"
#include "shape/region.h"

#include <windows.h>
#include <shellapi.h>

#include <cstring>
#include <string>

namespace {

using tovalin::package::cFile;
using tovalin::package::PackageHeader;
using Bytes = std::span<const std::uint8_t>;

// The floor's failures end it with a code; the benchmark reports a floor that shows no window.
[[noreturn]] void Quit(int code) {
    ::ExitProcess(static_cast<UINT>(code));
}

Bytes MapWholeFile(const wchar_t* path) {
    HANDLE file = ::CreateFileW(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        Quit(3);
    LARGE_INTEGER size{};
    ::GetFileSizeEx(file, &size);
    HANDLE mapping = ::CreateFileMappingW(file, nullptr, PAGE_READONLY, 0, 0, nullptr);
    const void* view = mapping ? ::MapViewOfFile(mapping, FILE_MAP_READ, 0, 0, 0) : nullptr;
    if (!view)
        Quit(3);
    return {static_cast<const std::uint8_t*>(view), static_cast<std::size_t>(size.QuadPart)};
}

Bytes RecordBytes(Bytes file, const cFile& record) {
    return file.subspan(static_cast<std::size_t>(record.nOffset - 1),
                        static_cast<std::size_t>(record.nLen));
}

std::wstring FromCp932(const std::string& text) {
    std::wstring wide(text.size(), L'\0');
    const int n = ::MultiByteToWideChar(932, 0, text.data(), static_cast<int>(text.size()),
                                        wide.data(), static_cast<int>(wide.size()));
    wide.resize(static_cast<std::size_t>(n));
    return wide;
}

void WriteFiles(Bytes file, const PackageHeader& header) {
    wchar_t temp[MAX_PATH + 1];
    const std::wstring folder(temp, ::GetTempPathW(MAX_PATH + 1, temp));
    for (const cFile& record : header.files) {
        const std::wstring path = folder + FromCp932(record.szFileName);
        HANDLE out = ::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                   FILE_ATTRIBUTE_NORMAL, nullptr);
        const Bytes bytes = RecordBytes(file, record);
        DWORD written = 0;
        if (out == INVALID_HANDLE_VALUE ||
            !::WriteFile(out, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr))
            Quit(4);
        ::CloseHandle(out);
    }
}

// The icon directory's best image for the small-icon size, made straight from its bytes.
HICON SmallIcon(Bytes ico) {
    const int side = ::GetSystemMetrics(SM_CXSMICON);
    auto* directory = const_cast<PBYTE>(ico.data());
    const int offset = ::LookupIconIdFromDirectoryEx(directory, TRUE, side, side, LR_DEFAULTCOLOR);
    if (offset <= 0 || static_cast<std::size_t>(offset) >= ico.size())
        Quit(5);
    return ::CreateIconFromResourceEx(directory + offset, static_cast<DWORD>(ico.size() - offset),
                                      TRUE, 0x00030000, side, side, LR_DEFAULTCOLOR);
}

void AddTrayIcon(HINSTANCE instance, Bytes ico) {
    WNDCLASSW wc{};
    wc.lpfnWndProc = ::DefWindowProcW;
    wc.hInstance = instance;
    wc.lpszClassName = L"tovalin.bench.work-floor.tray";
    ::RegisterClassW(&wc);
    NOTIFYICONDATAW record{};
    record.cbSize = sizeof(record);
    record.hWnd = ::CreateWindowExW(WS_EX_TOOLWINDOW, wc.lpszClassName, L"", WS_POPUP, 0, 0, 0, 0,
                                    nullptr, nullptr, instance, nullptr);
    record.uID = 1;
    record.uFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP;
    record.uCallbackMessage = WM_APP;
    record.hIcon = SmallIcon(ico);
    std::wcscpy(record.szTip, L"tovalin work floor");
    if (!record.hWnd || !::Shell_NotifyIconW(NIM_ADD, &record))
        Quit(5);
}

HRGN FrameOutline(Bytes gif, SIZE& size) {
    const auto picture = tovalin::platform::DecodeGifPicture(gif, 0);
    if (!picture)
        Quit(6);
    static tovalin::shape::RegionRecord record;
    const std::uint32_t bytes = tovalin::shape::BuildRegionData(
        picture->pixels, picture->width, picture->height, picture->pixels.front(), record);
    size = {picture->width, picture->height};
    return ::ExtCreateRegion(nullptr, bytes, reinterpret_cast<const RGNDATA*>(record.bytes.data()));
}

HWND ShowShapedWindow(HINSTANCE instance, Bytes gif) {
    WNDCLASSW wc{};
    wc.lpfnWndProc = ::DefWindowProcW;
    wc.hInstance = instance;
    wc.hbrBackground = static_cast<HBRUSH>(::GetStockObject(GRAY_BRUSH));
    wc.lpszClassName = L"tovalin.bench.work-floor";
    ::RegisterClassW(&wc);
    SIZE size{};
    const HRGN outline = FrameOutline(gif, size);
    HWND hwnd = ::CreateWindowExW(WS_EX_TOOLWINDOW | WS_EX_TOPMOST, wc.lpszClassName, L"", WS_POPUP,
                                  100, 100, size.cx, size.cy, nullptr, nullptr, instance, nullptr);
    if (!hwnd || !outline || !::SetWindowRgn(hwnd, outline, FALSE))
        Quit(7);
    ::ShowWindow(hwnd, SW_SHOWNOACTIVATE);
    return hwnd;
}

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) {
    int argc = 0;
    wchar_t** argv = ::CommandLineToArgvW(::GetCommandLineW(), &argc);
    if (argc < 2)
        Quit(2);
    const Bytes file = MapWholeFile(argv[1]);
    const PackageHeader header =
        tovalin::package::ParsePackageHeader(file, tovalin::package::EXESize(file));
    if (tovalin::package::CheckPackage(header, file.size()))
        Quit(3);
    WriteFiles(file, header);
    AddTrayIcon(instance, RecordBytes(file, header.files[0]));
    const HWND hwnd = ShowShapedWindow(instance, RecordBytes(file, header.files[1]));
    MSG msg;
    while (hwnd && ::GetMessageW(&msg, nullptr, 0, 0) > 0)
        ::DispatchMessageW(&msg);
    return 0;
}
