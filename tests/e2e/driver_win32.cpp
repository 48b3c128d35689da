// tovalin-driver: looks at and drives the player from outside, for the end-to-end tests.
// It runs under Wine beside the player and answers every command with one JSON object (UTF-8)
// on stdout. Exit code 0: done; 1: the thing asked for did not happen in time or failed
// (the JSON carries "error"); 2: the command line is wrong.
//
//   launch [--temp DIR] [--cwd DIR] [--env NAME=VALUE]... -- EXE [ARGS...]
//   windows [--pid N] [--image NAME] [--class NAME] [--all] [--wait MS] [--count N]
//   msgbox [--pid N] [--image NAME] [--class NAME] [--wait MS]
//   press [--pid N] [--image NAME] (--button TEXT | --id N) [--how command|click]
//         [--wait MS] [--wait-exit MS]
//   kill (--pid N | --image NAME) [--timeout MS]
//   wait-exit --pid N [--timeout MS]
//   gui-resources --pid N
//   tray [--icons N] [--wait MS]
//   processes [--pid N] [--image NAME]
//   modules --pid N                   the base names of the libraries a process has loaded
//   paint (--pid N | --image NAME)
//   cover --ms N [--caption]          a window over the whole primary monitor for N ms
//   catch-click --left X --top Y --width W --height H [--wait MS]
//                                     a plain window there, below every topmost one; prints
//                                     {"ready"} once it is up, then where it was clicked
//   host --rect L,T,W,H ... [--ms N]  captioned windows of another program at known places,
//                                     each later one above the earlier; ends when all are
//                                     closed (or after N ms)
//   place --hwnd H --rect L,T,W,H     moves and sizes a window, as a user's drag would
//   show --hwnd H --how minimize|restore|hide|close
//   work-area                         the primary monitor's work area
//   post --pid N (--msg M | --msg-name NAME) [--wparam W] [--lparam L]
//   display-state --pid N --state S   the console display-state notification (0 off, 1 on)
//   tray-delete --pid N               removes the process's tray icon (id 349) from outside
//   set-text --hwnd H --text TEXT     a control's text, as typing it would leave it
//   select --hwnd H --index I         a combo box's or list view's item, its owner told
//   list-items --hwnd H               a list view's rows, each as its columns' texts
//   click --hwnd H                    a button's click, as its owner receives it
//   icon --file PATH [--size N]       an icon's pixels: an .ico file's, or the one Explorer
//                                     shows for an executable (its first icon group)
//
// Window handles and process ids are plain numbers. Rectangles are screen pixels as
// {"left","top","width","height"}; region rectangles are [left, top, right, bottom] relative
// to the window's top-left corner, as GetWindowRgn reports them.
#include <windows.h>
#include <objbase.h>  // handles_win32.h needs COM declarations
#include <commctrl.h>
#include <psapi.h>
#include <shellapi.h>
#include <tlhelp32.h>

#include <algorithm>
#include <cstdint>
#include <cwchar>
#include <cwctype>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "../../src/platform/handles_win32.h"

namespace {

using tovalin::platform::UniqueHbitmap;
using tovalin::platform::UniqueHicon;
using tovalin::platform::UniqueHrgn;
using tovalin::platform::UniqueKernelHandle;

constexpr int kOk = 0;
constexpr int kFailed = 1;
constexpr int kUsage = 2;
constexpr DWORD kPollMs = 50;
constexpr UINT kMessageTimeoutMs = 2000;
constexpr UINT kClickTimeoutMs = 5000;

// ---------------------------------------------------------------------------------------------
// JSON output

void AppendUtf8(std::string& out, char32_t c) {
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xC0 | (c >> 6));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += static_cast<char>(0xE0 | (c >> 12));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (c >> 18));
        out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
}

void AppendEscape(std::string& out, unsigned unit) {
    static const char kHex[] = "0123456789abcdef";
    out += "\\u";
    for (int shift = 12; shift >= 0; shift -= 4)
        out += kHex[(unit >> shift) & 0xF];
}

// A JSON string from UTF-16. A lone surrogate is kept as an escape so that nothing the window
// really holds is lost or replaced.
std::string JsonString(std::wstring_view text) {
    std::string out = "\"";
    for (std::size_t i = 0; i < text.size(); ++i) {
        const unsigned u = text[i];
        if (u == '"' || u == '\\') {
            out += '\\';
            out += static_cast<char>(u);
        } else if (u == '\n') {
            out += "\\n";
        } else if (u == '\r') {
            out += "\\r";
        } else if (u == '\t') {
            out += "\\t";
        } else if (u < 0x20) {
            AppendEscape(out, u);
        } else if (u >= 0xD800 && u <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 &&
                   text[i + 1] <= 0xDFFF) {
            const char32_t c = 0x10000 + ((u - 0xD800) << 10) + (text[i + 1] - 0xDC00u);
            AppendUtf8(out, c);
            ++i;
        } else if (u >= 0xD800 && u <= 0xDFFF) {
            AppendEscape(out, u);
        } else {
            AppendUtf8(out, u);
        }
    }
    out += '"';
    return out;
}

// Streams one JSON value; commas are placed by remembering whether the current container
// already holds something.
class Json {
  public:
    Json& BeginObject() { return Open('{'); }
    Json& EndObject() { return Close('}'); }
    Json& BeginArray() { return Open('['); }
    Json& EndArray() { return Close(']'); }
    Json& Key(std::string_view key) {
        Separate();
        out_ += '"';
        out_ += key;
        out_ += "\":";
        afterKey_ = true;
        return *this;
    }
    Json& Str(std::wstring_view text) { return Raw(JsonString(text)); }
    Json& Int(std::int64_t value) { return Raw(std::to_string(value)); }
    Json& Uint(std::uint64_t value) { return Raw(std::to_string(value)); }
    Json& Bool(bool value) { return Raw(value ? "true" : "false"); }
    Json& Null() { return Raw("null"); }
    Json& Seconds(double value) {
        char text[32];
        std::snprintf(text, sizeof(text), "%.6f", value);
        return Raw(text);
    }
    Json& Rect(const RECT& r) {
        BeginObject();
        Key("left").Int(r.left).Key("top").Int(r.top);
        Key("width").Int(r.right - r.left).Key("height").Int(r.bottom - r.top);
        return EndObject();
    }
    const std::string& Text() const { return out_; }

  private:
    Json& Open(char c) {
        Separate();
        out_ += c;
        hasItem_.push_back(false);
        return *this;
    }
    Json& Close(char c) {
        out_ += c;
        hasItem_.pop_back();
        return *this;
    }
    Json& Raw(std::string_view text) {
        Separate();
        out_ += text;
        return *this;
    }
    void Separate() {
        if (afterKey_) {
            afterKey_ = false;
            return;
        }
        if (!hasItem_.empty()) {
            if (hasItem_.back())
                out_ += ',';
            hasItem_.back() = true;
        }
    }

    std::string out_;
    std::vector<bool> hasItem_;
    bool afterKey_ = false;
};

// Written with WriteFile so that the bytes reach a pipe or file unchanged, whatever the
// console code page says.
void Emit(const Json& json) {
    std::string text = json.Text();
    text += '\n';
    const HANDLE out = GetStdHandle(STD_OUTPUT_HANDLE);
    DWORD written = 0;
    std::size_t done = 0;
    while (done < text.size()) {
        if (!WriteFile(out, text.data() + done, static_cast<DWORD>(text.size() - done), &written,
                       nullptr) ||
            written == 0) {
            break;
        }
        done += written;
    }
}

int EmitError(std::wstring_view message, int code = kFailed) {
    Json json;
    json.BeginObject().Key("error").Str(message).EndObject();
    Emit(json);
    return code;
}

std::wstring LastErrorText(std::wstring_view what) {
    return std::wstring(what) + L" failed, error " + std::to_wstring(GetLastError());
}

// ---------------------------------------------------------------------------------------------
// Command line

struct UsageError {
    std::wstring message;
};

class Options {
  public:
    // Options take a value unless they are listed as flags; "--" ends them and everything
    // after it is kept as it stands.
    Options(int argc, wchar_t** argv, int first, std::set<std::wstring> flags) {
        int i = first;
        for (; i < argc; ++i) {
            const std::wstring arg = argv[i];
            if (arg == L"--") {
                ++i;
                break;
            }
            if (arg.rfind(L"--", 0) != 0)
                throw UsageError{L"unexpected argument " + arg};
            if (flags.count(arg)) {
                values_.emplace(arg, L"");
                continue;
            }
            if (i + 1 >= argc)
                throw UsageError{arg + L" needs a value"};
            values_.emplace(arg, argv[++i]);
        }
        for (; i < argc; ++i)
            rest_.emplace_back(argv[i]);
    }

    bool Has(const std::wstring& name) const { return values_.count(name) != 0; }
    std::optional<std::wstring> Get(const std::wstring& name) const {
        auto it = values_.find(name);
        if (it == values_.end())
            return std::nullopt;
        return it->second;
    }
    std::vector<std::wstring> All(const std::wstring& name) const {
        std::vector<std::wstring> out;
        auto [from, to] = values_.equal_range(name);
        for (auto it = from; it != to; ++it)
            out.push_back(it->second);
        return out;
    }
    std::int64_t Number(const std::wstring& name, std::int64_t fallback) const {
        auto text = Get(name);
        if (!text)
            return fallback;
        wchar_t* end = nullptr;
        const long long value = std::wcstoll(text->c_str(), &end, 0);
        if (text->empty() || *end != L'\0')
            throw UsageError{name + L" wants a number"};
        return value;
    }
    DWORD Millis(const std::wstring& name, DWORD fallback) const {
        const std::int64_t value = Number(name, fallback);
        if (value < 0 || value > 600000)
            throw UsageError{name + L" must be 0..600000 ms"};
        return static_cast<DWORD>(value);
    }
    const std::vector<std::wstring>& Rest() const { return rest_; }
    void RejectRest() const {
        if (!rest_.empty())
            throw UsageError{L"unexpected argument " + rest_.front()};
    }

  private:
    std::multimap<std::wstring, std::wstring> values_;
    std::vector<std::wstring> rest_;
};

// ---------------------------------------------------------------------------------------------
// Processes

bool SameTextIgnoringCase(std::wstring_view a, std::wstring_view b) {
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (std::towlower(a[i]) != std::towlower(b[i]))
            return false;
    }
    return true;
}

// Image (file) names of all processes, by id.
std::map<DWORD, std::wstring> ProcessImages() {
    std::map<DWORD, std::wstring> images;
    UniqueKernelHandle snapshot(CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
    if (!snapshot || snapshot.get() == INVALID_HANDLE_VALUE) {
        (void)snapshot.release();
        return images;
    }
    PROCESSENTRY32W entry{};
    entry.dwSize = sizeof entry;
    for (BOOL ok = Process32FirstW(snapshot.get(), &entry); ok;
         ok = Process32NextW(snapshot.get(), &entry)) {
        std::wstring name = entry.szExeFile;
        // Some systems report a full path here; the tests match on the file name.
        const auto slash = name.find_last_of(L"\\/");
        if (slash != std::wstring::npos)
            name.erase(0, slash + 1);
        images[entry.th32ProcessID] = name;
    }
    return images;
}

// Which processes a command is about: one id, all processes of one image name, or any.
struct ProcessFilter {
    std::optional<DWORD> pid;
    std::optional<std::wstring> image;

    static ProcessFilter From(const Options& options) {
        ProcessFilter filter;
        if (options.Has(L"--pid"))
            filter.pid = static_cast<DWORD>(options.Number(L"--pid", 0));
        filter.image = options.Get(L"--image");
        return filter;
    }
    bool Any() const { return !pid && !image; }
    bool Matches(DWORD processId, const std::map<DWORD, std::wstring>& images) const {
        if (pid && processId != *pid)
            return false;
        if (image) {
            auto it = images.find(processId);
            if (it == images.end() || !SameTextIgnoringCase(it->second, *image))
                return false;
        }
        return true;
    }
};

std::wstring ImageOf(DWORD pid, const std::map<DWORD, std::wstring>& images) {
    auto it = images.find(pid);
    return it == images.end() ? std::wstring() : it->second;
}

// ---------------------------------------------------------------------------------------------
// Windows

std::wstring ClassOf(HWND hwnd) {
    wchar_t buffer[256] = {};
    const int n = GetClassNameW(hwnd, buffer, 256);
    return std::wstring(buffer, n > 0 ? static_cast<std::size_t>(n) : 0);
}

// The caption as the system keeps it; never sends a message, so a hung window cannot block us.
std::wstring TitleOf(HWND hwnd) {
    wchar_t buffer[1024] = {};
    const int n = InternalGetWindowText(hwnd, buffer, 1024);
    return std::wstring(buffer, n > 0 ? static_cast<std::size_t>(n) : 0);
}

// A control's text through WM_GETTEXT, so that controls which keep their own text answer too;
// falls back to the stored caption when the owner does not answer in time.
std::wstring ControlText(HWND hwnd) {
    DWORD_PTR length = 0;
    if (!SendMessageTimeoutW(hwnd, WM_GETTEXTLENGTH, 0, 0, SMTO_ABORTIFHUNG, kMessageTimeoutMs,
                             &length)) {
        return TitleOf(hwnd);
    }
    std::wstring text(static_cast<std::size_t>(length) + 1, L'\0');
    DWORD_PTR copied = 0;
    if (!SendMessageTimeoutW(hwnd, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(text.data()),
                             SMTO_ABORTIFHUNG, kMessageTimeoutMs, &copied)) {
        return TitleOf(hwnd);
    }
    text.resize(std::min<std::size_t>(copied, text.size() - 1));
    return text;
}

std::uint64_t HandleNumber(const void* handle) {
    return static_cast<std::uint64_t>(reinterpret_cast<std::uintptr_t>(handle));
}

void WriteRegion(Json& json, HWND hwnd) {
    UniqueHrgn region(CreateRectRgn(0, 0, 0, 0));
    const int kind = region ? GetWindowRgn(hwnd, region.get()) : ERROR;
    if (kind == ERROR) {
        json.Null();
        return;
    }
    RECT box{};
    GetRgnBox(region.get(), &box);
    const DWORD size = GetRegionData(region.get(), 0, nullptr);
    std::vector<std::uint8_t> buffer(size);
    auto* data = reinterpret_cast<RGNDATA*>(buffer.data());
    const bool haveData =
        size >= sizeof(RGNDATAHEADER) && GetRegionData(region.get(), size, data) == size;
    json.BeginObject();
    json.Key("kind").Str(kind == NULLREGION     ? L"empty"
                         : kind == SIMPLEREGION ? L"simple"
                                                : L"complex");
    json.Key("box").Rect(box);
    std::int64_t area = 0;
    json.Key("rects").BeginArray();
    if (haveData) {
        const auto* rects = reinterpret_cast<const RECT*>(data->Buffer);
        for (DWORD i = 0; i < data->rdh.nCount; ++i) {
            const RECT& r = rects[i];
            area += static_cast<std::int64_t>(r.right - r.left) * (r.bottom - r.top);
            json.BeginArray().Int(r.left).Int(r.top).Int(r.right).Int(r.bottom).EndArray();
        }
    }
    json.EndArray();
    json.Key("count").Int(haveData ? data->rdh.nCount : 0);
    json.Key("area").Int(area);
    json.EndObject();
}

RECT ClientRectOnScreen(HWND hwnd) {
    RECT client{};
    GetClientRect(hwnd, &client);
    POINT origin{0, 0};
    ClientToScreen(hwnd, &origin);
    OffsetRect(&client, origin.x, origin.y);
    return client;
}

void WriteWindow(Json& json, HWND hwnd, int z, const std::map<DWORD, std::wstring>& images) {
    DWORD pid = 0;
    const DWORD tid = GetWindowThreadProcessId(hwnd, &pid);
    RECT rect{};
    GetWindowRect(hwnd, &rect);
    const auto style = static_cast<DWORD>(GetWindowLongW(hwnd, GWL_STYLE));
    const auto exstyle = static_cast<DWORD>(GetWindowLongW(hwnd, GWL_EXSTYLE));
    json.BeginObject();
    json.Key("hwnd").Uint(HandleNumber(hwnd));
    json.Key("pid").Uint(pid).Key("tid").Uint(tid);
    json.Key("image").Str(ImageOf(pid, images));
    json.Key("class").Str(ClassOf(hwnd));
    json.Key("title").Str(TitleOf(hwnd));
    json.Key("visible").Bool(IsWindowVisible(hwnd) != FALSE);
    json.Key("iconic").Bool(IsIconic(hwnd) != FALSE);
    json.Key("rect").Rect(rect);
    json.Key("client").Rect(ClientRectOnScreen(hwnd));
    json.Key("style").Uint(style).Key("exstyle").Uint(exstyle);
    json.Key("topmost").Bool((exstyle & WS_EX_TOPMOST) != 0);
    json.Key("owner").Uint(HandleNumber(GetWindow(hwnd, GW_OWNER)));
    json.Key("z").Int(z);
    json.Key("region");
    WriteRegion(json, hwnd);
    json.EndObject();
}

// Top-level windows from the top of the Z order down.
BOOL CALLBACK CollectWindow(HWND hwnd, LPARAM param) {
    reinterpret_cast<std::vector<HWND>*>(param)->push_back(hwnd);
    return TRUE;
}

std::vector<HWND> TopLevelWindows() {
    std::vector<HWND> found;
    EnumWindows(CollectWindow, reinterpret_cast<LPARAM>(&found));
    return found;
}

std::vector<HWND> ChildWindows(HWND parent) {
    std::vector<HWND> found;
    EnumChildWindows(parent, CollectWindow, reinterpret_cast<LPARAM>(&found));
    return found;
}

struct WindowQuery {
    ProcessFilter process;
    std::optional<std::wstring> className;
    bool includeHidden = false;
};

struct Match {
    HWND hwnd;
    int z;
};

std::vector<Match> FindWindows(const WindowQuery& query,
                               const std::map<DWORD, std::wstring>& images) {
    std::vector<Match> matches;
    int z = 0;
    for (HWND hwnd : TopLevelWindows()) {
        const int position = z++;
        if (!query.includeHidden && !IsWindowVisible(hwnd))
            continue;
        DWORD pid = 0;
        GetWindowThreadProcessId(hwnd, &pid);
        if (!query.process.Matches(pid, images))
            continue;
        if (query.className && ClassOf(hwnd) != *query.className)
            continue;
        matches.push_back({hwnd, position});
    }
    return matches;
}

struct WaitResult {
    std::vector<Match> matches;
    bool ended = false;         // the process asked about ended before enough windows came
    std::optional<DWORD> code;  // its exit code, when it could still be read
};

// Polls until at least `wanted` windows match or the time is up; the last answer either way.
// Waiting on one process stops early when that process ends, so that a program which quits
// instead of showing a window is reported at once, with its exit code.
WaitResult WaitForWindows(const WindowQuery& query, std::size_t wanted, DWORD waitMs,
                          std::map<DWORD, std::wstring>& images) {
    UniqueKernelHandle process;
    if (query.process.pid) {
        process.reset(OpenProcess(SYNCHRONIZE | PROCESS_QUERY_LIMITED_INFORMATION, FALSE,
                                  *query.process.pid));
    }
    const ULONGLONG deadline = GetTickCount64() + waitMs;
    WaitResult result;
    for (;;) {
        images = ProcessImages();
        result.matches = FindWindows(query, images);
        if (result.matches.size() >= wanted || GetTickCount64() >= deadline)
            return result;
        if (query.process.pid) {
            if (!process) {
                result.ended = !images.count(*query.process.pid);
            } else if (WaitForSingleObject(process.get(), 0) == WAIT_OBJECT_0) {
                DWORD code = 0;
                if (GetExitCodeProcess(process.get(), &code))
                    result.code = code;
                result.ended = true;
            }
            if (result.ended)
                return result;
        }
        Sleep(kPollMs);
    }
}

// The error answer of a wait that found nothing.
int EmitNotFound(const WaitResult& wait, std::wstring_view what) {
    Json json;
    json.BeginObject();
    if (wait.ended) {
        json.Key("error").Str(L"process ended without showing " + std::wstring(what));
        json.Key("exited").Bool(true).Key("code");
        wait.code ? json.Uint(*wait.code) : json.Null();
    } else {
        json.Key("error").Str(L"timed out waiting for " + std::wstring(what));
    }
    json.EndObject();
    Emit(json);
    return kFailed;
}

// ---------------------------------------------------------------------------------------------
// Dialogs and message boxes

// The message box's text is the static control with this id (user32's message-box template).
constexpr int kMessageTextId = 0xFFFF;

bool IsButton(HWND hwnd) {
    return SameTextIgnoringCase(ClassOf(hwnd), L"Button");
}

// A static control showing an icon: SS_ICON with an icon actually set, and visible.
bool ShowsIcon(HWND control) {
    if (!SameTextIgnoringCase(ClassOf(control), L"Static"))
        return false;
    const auto style = static_cast<DWORD>(GetWindowLongW(control, GWL_STYLE));
    if ((style & SS_TYPEMASK) != SS_ICON || !IsWindowVisible(control))
        return false;
    DWORD_PTR icon = 0;
    SendMessageTimeoutW(control, STM_GETICON, 0, 0, SMTO_ABORTIFHUNG, kMessageTimeoutMs, &icon);
    return icon != 0;
}

// Mnemonic ampersands are not part of what the user reads on a button.
std::wstring WithoutMnemonics(std::wstring_view text) {
    std::wstring out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == L'&' && i + 1 < text.size()) {
            out += text[++i];
        } else {
            out += text[i];
        }
    }
    return out;
}

void WriteDialog(Json& json, HWND dialog, const std::map<DWORD, std::wstring>& images) {
    DWORD pid = 0;
    GetWindowThreadProcessId(dialog, &pid);
    RECT rect{};
    GetWindowRect(dialog, &rect);
    const auto children = ChildWindows(dialog);
    std::wstring text;
    bool haveText = false;
    bool icon = false;
    for (HWND child : children) {
        if (GetDlgCtrlID(child) == kMessageTextId && !haveText) {
            text = ControlText(child);
            haveText = true;
        }
        icon = icon || ShowsIcon(child);
    }
    json.BeginObject();
    json.Key("hwnd").Uint(HandleNumber(dialog));
    json.Key("pid").Uint(pid).Key("image").Str(ImageOf(pid, images));
    json.Key("class").Str(ClassOf(dialog));
    json.Key("title").Str(TitleOf(dialog));
    json.Key("text");
    haveText ? json.Str(text) : json.Null();
    json.Key("icon").Bool(icon);
    json.Key("rect").Rect(rect);
    json.Key("buttons").BeginArray();
    for (HWND child : children) {
        if (!IsButton(child) || !IsWindowVisible(child))
            continue;
        const auto style = static_cast<DWORD>(GetWindowLongW(child, GWL_STYLE));
        RECT r{};
        GetWindowRect(child, &r);
        json.BeginObject();
        json.Key("id").Int(GetDlgCtrlID(child));
        json.Key("text").Str(WithoutMnemonics(ControlText(child)));
        json.Key("default").Bool((style & BS_TYPEMASK) == BS_DEFPUSHBUTTON);
        json.Key("enabled").Bool(IsWindowEnabled(child) != FALSE);
        json.Key("rect").Rect(r);
        json.EndObject();
    }
    json.EndArray();
    json.Key("controls").BeginArray();
    for (HWND child : children) {
        RECT r{};
        GetWindowRect(child, &r);
        json.BeginObject();
        json.Key("hwnd").Uint(HandleNumber(child));
        json.Key("id").Int(GetDlgCtrlID(child));
        json.Key("class").Str(ClassOf(child));
        json.Key("text").Str(ControlText(child));
        json.Key("visible").Bool(IsWindowVisible(child) != FALSE);
        json.Key("style").Uint(static_cast<DWORD>(GetWindowLongW(child, GWL_STYLE)));
        json.Key("rect").Rect(r);
        json.EndObject();
    }
    json.EndArray();
    json.EndObject();
}

WindowQuery DialogQuery(const Options& options) {
    WindowQuery query;
    query.process = ProcessFilter::From(options);
    query.className = options.Get(L"--class").value_or(L"#32770");
    return query;
}

WaitResult WaitForDialog(const WindowQuery& query, DWORD waitMs,
                         std::map<DWORD, std::wstring>& images) {
    return WaitForWindows(query, 1, waitMs, images);
}

// True once the window is destroyed or hidden.
bool WaitGone(HWND hwnd, DWORD waitMs) {
    const ULONGLONG deadline = GetTickCount64() + waitMs;
    for (;;) {
        if (!IsWindow(hwnd) || !IsWindowVisible(hwnd))
            return true;
        if (GetTickCount64() >= deadline)
            return false;
        Sleep(kPollMs / 5);
    }
}

std::optional<HWND> FindButton(HWND dialog, const Options& options) {
    const auto text = options.Get(L"--button");
    const bool byId = options.Has(L"--id");
    const std::int64_t id = options.Number(L"--id", 0);
    for (HWND child : ChildWindows(dialog)) {
        if (!IsButton(child) || !IsWindowVisible(child))
            continue;
        if (byId && GetDlgCtrlID(child) != id)
            continue;
        if (text && !SameTextIgnoringCase(WithoutMnemonics(ControlText(child)), *text))
            continue;
        return child;
    }
    return std::nullopt;
}

// ---------------------------------------------------------------------------------------------
// Commands

// An environment block like our own, but with the temporary folder replaced and the given
// variables set; sorted as Windows expects.
std::wstring EnvironmentBlock(const std::optional<std::wstring>& temp,
                              const std::vector<std::wstring>& assignments) {
    std::map<std::wstring, std::wstring> vars;  // upper-case name -> "Name=value"
    auto upper = [](std::wstring s) {
        for (auto& c : s)
            c = static_cast<wchar_t>(std::towupper(c));
        return s;
    };
    if (wchar_t* block = GetEnvironmentStringsW()) {
        for (const wchar_t* p = block; *p; p += std::wcslen(p) + 1) {
            const std::wstring entry = p;
            const auto eq = entry.find(L'=', 1);  // "=C:=C:\..." entries start with '='
            if (eq == std::wstring::npos)
                continue;
            vars[upper(entry.substr(0, eq))] = entry;
        }
        FreeEnvironmentStringsW(block);
    }
    for (const auto& assignment : assignments) {
        const auto eq = assignment.find(L'=', 1);
        if (eq == std::wstring::npos)
            throw UsageError{L"--env wants NAME=VALUE"};
        vars[upper(assignment.substr(0, eq))] = assignment;
    }
    if (temp) {
        vars[L"TEMP"] = L"TEMP=" + *temp;
        vars[L"TMP"] = L"TMP=" + *temp;
    }
    std::wstring out;
    for (const auto& [name, entry] : vars) {
        out += entry;
        out += L'\0';
    }
    out += L'\0';
    return out;
}

// Quoting that CommandLineToArgvW and the C runtime undo exactly.
std::wstring QuoteArgument(const std::wstring& arg) {
    if (!arg.empty() && arg.find_first_of(L" \t\n\v\"") == std::wstring::npos)
        return arg;
    std::wstring out = L"\"";
    std::size_t backslashes = 0;
    for (wchar_t c : arg) {
        if (c == L'\\') {
            ++backslashes;
            continue;
        }
        out.append(c == L'"' ? backslashes * 2 + 1 : backslashes, L'\\');
        backslashes = 0;
        out += c;
    }
    out.append(backslashes * 2, L'\\');
    out += L'"';
    return out;
}

bool IsFolder(const std::wstring& path) {
    const DWORD attributes = GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

int Launch(const Options& options) {
    const auto& rest = options.Rest();
    if (rest.empty())
        throw UsageError{L"launch needs -- EXE [ARGS...]"};
    const auto temp = options.Get(L"--temp");
    const auto cwd = options.Get(L"--cwd");
    if (temp && !IsFolder(*temp))
        return EmitError(L"temporary folder does not exist: " + *temp);
    if (cwd && !IsFolder(*cwd))
        return EmitError(L"working folder does not exist: " + *cwd);
    const std::wstring& exe = rest.front();
    std::wstring commandLine;
    for (const auto& arg : rest) {
        if (!commandLine.empty())
            commandLine += L' ';
        commandLine += QuoteArgument(arg);
    }
    std::wstring environment = EnvironmentBlock(temp, options.All(L"--env"));
    // The child's standard handles are the null device, and our own are kept from it: Wine
    // otherwise hands the child our stdout and stderr, and whoever reads our output through a
    // pipe waits until the player ends.
    for (DWORD which : {STD_INPUT_HANDLE, STD_OUTPUT_HANDLE, STD_ERROR_HANDLE}) {
        const HANDLE own = GetStdHandle(which);
        if (own && own != INVALID_HANDLE_VALUE)
            SetHandleInformation(own, HANDLE_FLAG_INHERIT, 0);
    }
    SECURITY_ATTRIBUTES inheritable{sizeof inheritable, nullptr, TRUE};
    UniqueKernelHandle nullIn(CreateFileW(L"NUL", GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                          &inheritable, OPEN_EXISTING, 0, nullptr));
    UniqueKernelHandle nullOut(CreateFileW(L"NUL", GENERIC_WRITE,
                                           FILE_SHARE_READ | FILE_SHARE_WRITE, &inheritable,
                                           OPEN_EXISTING, 0, nullptr));
    if (nullIn.get() == INVALID_HANDLE_VALUE || nullOut.get() == INVALID_HANDLE_VALUE) {
        (void)nullIn.release();
        (void)nullOut.release();
        return EmitError(LastErrorText(L"opening NUL"));
    }
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = nullIn.get();
    startup.hStdOutput = nullOut.get();
    startup.hStdError = nullOut.get();
    PROCESS_INFORMATION info{};
    if (!CreateProcessW(exe.c_str(), commandLine.data(), nullptr, nullptr, TRUE,
                        CREATE_UNICODE_ENVIRONMENT, environment.data(),
                        cwd ? cwd->c_str() : nullptr, &startup, &info)) {
        return EmitError(LastErrorText(L"CreateProcessW " + exe));
    }
    CloseHandle(info.hThread);
    CloseHandle(info.hProcess);
    Json json;
    json.BeginObject().Key("pid").Uint(info.dwProcessId).Key("tid").Uint(info.dwThreadId);
    json.Key("exe").Str(exe).EndObject();
    Emit(json);
    return kOk;
}

// Wall-clock time in seconds since 1970, the clock Python's time.time() reads on the same
// machine: samples of several driver runs line up with each other and with the harness.
double UnixSeconds() {
    FILETIME now{};
    GetSystemTimePreciseAsFileTime(&now);
    const ULONGLONG ticks = (static_cast<ULONGLONG>(now.dwHighDateTime) << 32) | now.dwLowDateTime;
    constexpr ULONGLONG kEpoch = 116444736000000000ULL;  // 1601 to 1970 in 100 ns
    return static_cast<double>(ticks - kEpoch) / 1e7;
}

// Reads the matching windows again and again for watchMs, one sample every everyMs: the
// harness can follow a window's frames closer together than one process start apart.
int WatchWindows(const WindowQuery& query, DWORD watchMs, DWORD everyMs) {
    std::map<DWORD, std::wstring> images = ProcessImages();
    const ULONGLONG deadline = GetTickCount64() + watchMs;
    Json json;
    json.BeginObject().Key("samples").BeginArray();
    do {
        json.BeginObject().Key("before").Seconds(UnixSeconds());
        const auto matches = FindWindows(query, images);
        json.Key("windows").BeginArray();
        for (const auto& match : matches)
            WriteWindow(json, match.hwnd, match.z, images);
        json.EndArray().Key("after").Seconds(UnixSeconds()).EndObject();
        Sleep(everyMs);
    } while (GetTickCount64() < deadline);
    json.EndArray().EndObject();
    Emit(json);
    return kOk;
}

int ListWindows(const Options& options) {
    options.RejectRest();
    WindowQuery query;
    query.process = ProcessFilter::From(options);
    query.className = options.Get(L"--class");
    query.includeHidden = options.Has(L"--all");
    if (const DWORD watchMs = options.Millis(L"--watch", 0))
        return WatchWindows(query, watchMs, options.Millis(L"--every", 10));
    const auto wanted = static_cast<std::size_t>(options.Number(L"--count", 1));
    const DWORD waitMs = options.Millis(L"--wait", 0);
    std::map<DWORD, std::wstring> images;
    const auto wait = WaitForWindows(query, waitMs ? wanted : 0, waitMs, images);
    Json json;
    json.BeginObject().Key("windows").BeginArray();
    for (const auto& match : wait.matches)
        WriteWindow(json, match.hwnd, match.z, images);
    json.EndArray();
    const bool enough = !waitMs || wait.matches.size() >= wanted;
    if (wait.ended) {
        json.Key("error").Str(L"process ended").Key("exited").Bool(true).Key("code");
        wait.code ? json.Uint(*wait.code) : json.Null();
    } else if (!enough) {
        json.Key("error").Str(L"timed out waiting for windows");
    }
    json.EndObject();
    Emit(json);
    return enough ? kOk : kFailed;
}

int MessageBoxInfo(const Options& options) {
    options.RejectRest();
    std::map<DWORD, std::wstring> images;
    const auto wait = WaitForDialog(DialogQuery(options), options.Millis(L"--wait", 0), images);
    if (wait.matches.empty())
        return EmitNotFound(wait, L"a dialog");
    Json json;
    WriteDialog(json, wait.matches.front().hwnd, images);
    Emit(json);
    return kOk;
}

// Waits for a process to end; nullopt when it is still running at the deadline.
std::optional<DWORD> WaitExit(HANDLE process, DWORD waitMs) {
    if (WaitForSingleObject(process, waitMs) != WAIT_OBJECT_0)
        return std::nullopt;
    DWORD code = 0;
    GetExitCodeProcess(process, &code);
    return code;
}

void WriteExit(Json& json, std::optional<DWORD> code) {
    json.Key("exited").Bool(code.has_value());
    json.Key("code");
    code ? json.Uint(*code) : json.Null();
}

int Press(const Options& options) {
    options.RejectRest();
    if (!options.Has(L"--button") && !options.Has(L"--id")) {
        throw UsageError{L"press needs --button TEXT or --id N"};
    }
    const std::wstring how = options.Get(L"--how").value_or(L"command");
    if (how != L"click" && how != L"command")
        throw UsageError{L"--how is click or command"};
    std::map<DWORD, std::wstring> images;
    const auto wait = WaitForDialog(DialogQuery(options), options.Millis(L"--wait", 5000), images);
    if (wait.matches.empty())
        return EmitNotFound(wait, L"a dialog");
    const HWND dialog = wait.matches.front().hwnd;
    const auto button = FindButton(dialog, options);
    Json json;
    json.BeginObject().Key("dialog");
    WriteDialog(json, dialog, images);
    if (!button) {
        json.Key("error").Str(L"no such button").EndObject();
        Emit(json);
        return kFailed;
    }
    DWORD pid = 0;
    GetWindowThreadProcessId(dialog, &pid);
    // Opened before the press so that the exit code can still be read once the process is gone.
    UniqueKernelHandle process(
        OpenProcess(SYNCHRONIZE | PROCESS_QUERY_LIMITED_INFORMATION, FALSE, pid));
    const int id = GetDlgCtrlID(*button);
    bool delivered = false;
    if (how == L"click") {
        // Goes through the button itself. Under Wine without a window manager the button's
        // focus change makes this take about two seconds, hence not the default.
        DWORD_PTR ignored = 0;
        delivered = SendMessageTimeoutW(*button, BM_CLICK, 0, 0, SMTO_ABORTIFHUNG, kClickTimeoutMs,
                                        &ignored) != 0;
    } else {
        // Exactly the notification the button sends its dialog when clicked.
        delivered = PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED),
                                 reinterpret_cast<LPARAM>(*button)) != FALSE;
    }
    json.Key("pressed").Int(id).Key("delivered").Bool(delivered);
    int result = delivered ? kOk : kFailed;
    if (options.Has(L"--wait-exit")) {
        std::optional<DWORD> code;
        if (process)
            code = WaitExit(process.get(), options.Millis(L"--wait-exit", 0));
        WriteExit(json, code);
        if (!code)
            result = kFailed;
        if (!code && delivered)
            json.Key("error").Str(L"process did not end");
    }
    json.Key("closed").Bool(delivered && WaitGone(dialog, kMessageTimeoutMs));
    if (!delivered)
        json.Key("error").Str(L"press not delivered");
    json.EndObject();
    Emit(json);
    return result;
}

std::vector<DWORD> TargetPids(const Options& options) {
    const auto filter = ProcessFilter::From(options);
    if (filter.Any())
        throw UsageError{L"needs --pid N or --image NAME"};
    if (filter.pid && !filter.image)
        return {*filter.pid};
    std::vector<DWORD> pids;
    const auto images = ProcessImages();
    for (const auto& [pid, image] : images) {
        if (filter.Matches(pid, images))
            pids.push_back(pid);
    }
    return pids;
}

int Kill(const Options& options) {
    options.RejectRest();
    const DWORD waitMs = options.Millis(L"--timeout", 5000);
    Json json;
    json.BeginObject();
    std::vector<DWORD> killed, gone, failed;
    for (DWORD pid : TargetPids(options)) {
        UniqueKernelHandle process(OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, pid));
        if (!process) {
            gone.push_back(pid);
            continue;
        }
        if (WaitForSingleObject(process.get(), 0) == WAIT_OBJECT_0) {
            gone.push_back(pid);
            continue;
        }
        const bool ok = TerminateProcess(process.get(), 1) &&
                        WaitForSingleObject(process.get(), waitMs) == WAIT_OBJECT_0;
        (ok ? killed : failed).push_back(pid);
    }
    auto list = [&json](const char* key, const std::vector<DWORD>& pids) {
        json.Key(key).BeginArray();
        for (DWORD pid : pids)
            json.Uint(pid);
        json.EndArray();
    };
    list("killed", killed);
    list("gone", gone);
    list("failed", failed);
    if (!failed.empty())
        json.Key("error").Str(L"some processes did not end");
    json.EndObject();
    Emit(json);
    return failed.empty() ? kOk : kFailed;
}

int WaitExitCommand(const Options& options) {
    options.RejectRest();
    if (!options.Has(L"--pid"))
        throw UsageError{L"wait-exit needs --pid N"};
    const auto pid = static_cast<DWORD>(options.Number(L"--pid", 0));
    Json json;
    json.BeginObject().Key("pid").Uint(pid);
    UniqueKernelHandle process(
        OpenProcess(SYNCHRONIZE | PROCESS_QUERY_LIMITED_INFORMATION, FALSE, pid));
    if (!process) {
        // Nobody holds the ended process any more, so its id names nothing; the code is lost.
        json.Key("exited").Bool(true).Key("code").Null().Key("gone").Bool(true).EndObject();
        Emit(json);
        return kOk;
    }
    if (options.Has(L"--announce")) {
        // The caller may now make the process end: this handle keeps its exit code readable.
        Json waiting;
        waiting.BeginObject().Key("waiting").Bool(true).EndObject();
        Emit(waiting);
    }
    const auto code = WaitExit(process.get(), options.Millis(L"--timeout", 10000));
    WriteExit(json, code);
    if (!code)
        json.Key("error").Str(L"process still running");
    json.EndObject();
    Emit(json);
    return code ? kOk : kFailed;
}

int GuiResources(const Options& options) {
    options.RejectRest();
    if (!options.Has(L"--pid"))
        throw UsageError{L"gui-resources needs --pid N"};
    const auto pid = static_cast<DWORD>(options.Number(L"--pid", 0));
    UniqueKernelHandle process(
        OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE, pid));
    if (!process)
        return EmitError(LastErrorText(L"OpenProcess"));
    Json json;
    json.BeginObject().Key("pid").Uint(pid);
    // A live GUI process always owns some objects, so 0 means the system does not count them
    // (Wine's GetGuiResources is a stub); that is reported as unknown rather than as none.
    auto counter = [&](const char* key, DWORD flag) {
        const DWORD count = GetGuiResources(process.get(), flag);
        json.Key(key);
        count ? json.Uint(count) : json.Null();
    };
    counter("gdi", GR_GDIOBJECTS);
    counter("user", GR_USEROBJECTS);
    // Wine answers 0 for some counters of other processes; 0 is reported as unknown too.
    auto known = [&json](const char* key, std::uint64_t value) {
        json.Key(key);
        value ? json.Uint(value) : json.Null();
    };
    DWORD handles = 0;
    known("handles", GetProcessHandleCount(process.get(), &handles) ? handles : 0);
    PROCESS_MEMORY_COUNTERS_EX memory{};
    memory.cb = sizeof memory;
    if (!GetProcessMemoryInfo(process.get(), reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&memory),
                              sizeof memory)) {
        memory = PROCESS_MEMORY_COUNTERS_EX{};
    }
    known("private_bytes", memory.PrivateUsage);
    known("pagefile_bytes", memory.PagefileUsage);
    known("working_set", memory.WorkingSetSize);
    json.EndObject();
    Emit(json);
    return kOk;
}

// Makes the process's visible windows paint what is pending, now: a window that has just
// appeared shows whatever was below it until its owner gets round to painting it.
int Paint(const Options& options) {
    options.RejectRest();
    WindowQuery query;
    query.process = ProcessFilter::From(options);
    if (query.process.Any())
        throw UsageError{L"paint needs --pid N or --image NAME"};
    std::map<DWORD, std::wstring> images = ProcessImages();
    std::int64_t painted = 0, hung = 0;
    for (const auto& match : FindWindows(query, images)) {
        DWORD_PTR ignored = 0;
        // A round trip first, so that a hung owner costs a timeout instead of blocking us.
        if (!SendMessageTimeoutW(match.hwnd, WM_NULL, 0, 0, SMTO_ABORTIFHUNG, kMessageTimeoutMs,
                                 &ignored)) {
            ++hung;
            continue;
        }
        RedrawWindow(match.hwnd, nullptr, nullptr, RDW_UPDATENOW | RDW_ALLCHILDREN);
        // And one after, so that the owner is back in its message loop, where Wine hands the
        // painted pixels to the X server.
        SendMessageTimeoutW(match.hwnd, WM_NULL, 0, 0, SMTO_ABORTIFHUNG, kMessageTimeoutMs,
                            &ignored);
        ++painted;
    }
    Json json;
    json.BeginObject().Key("painted").Int(painted).Key("hung").Int(hung).EndObject();
    Emit(json);
    return hung ? kFailed : kOk;
}

int Processes(const Options& options) {
    options.RejectRest();
    const auto filter = ProcessFilter::From(options);
    Json json;
    json.BeginObject().Key("processes").BeginArray();
    UniqueKernelHandle snapshot(CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
    if (snapshot.get() == INVALID_HANDLE_VALUE)
        (void)snapshot.release();
    const auto images = ProcessImages();
    PROCESSENTRY32W entry{};
    entry.dwSize = sizeof entry;
    for (BOOL ok = snapshot && Process32FirstW(snapshot.get(), &entry); ok;
         ok = Process32NextW(snapshot.get(), &entry)) {
        if (!filter.Matches(entry.th32ProcessID, images))
            continue;
        json.BeginObject();
        json.Key("pid").Uint(entry.th32ProcessID).Key("parent").Uint(entry.th32ParentProcessID);
        json.Key("image").Str(ImageOf(entry.th32ProcessID, images));
        json.Key("threads").Uint(entry.cntThreads);
        json.EndObject();
    }
    json.EndArray().EndObject();
    Emit(json);
    return kOk;
}

int Modules(const Options& options) {
    options.RejectRest();
    if (!options.Has(L"--pid"))
        throw UsageError{L"modules needs --pid N"};
    const auto pid = static_cast<DWORD>(options.Number(L"--pid", 0));
    UniqueKernelHandle process(
        OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE, pid));
    if (!process)
        return EmitError(LastErrorText(L"OpenProcess"));
    std::vector<HMODULE> modules(256);
    DWORD needed = 0;
    for (;;) {
        const auto bytes = static_cast<DWORD>(modules.size() * sizeof(HMODULE));
        if (!EnumProcessModulesEx(process.get(), modules.data(), bytes, &needed, LIST_MODULES_ALL))
            return EmitError(LastErrorText(L"EnumProcessModulesEx"));
        if (needed <= bytes)
            break;
        modules.resize(needed / sizeof(HMODULE));
    }
    modules.resize(needed / sizeof(HMODULE));
    Json json;
    json.BeginObject().Key("pid").Uint(pid).Key("modules").BeginArray();
    for (HMODULE module : modules) {
        wchar_t name[MAX_PATH] = {};
        if (GetModuleBaseNameW(process.get(), module, name, MAX_PATH))
            json.Str(name);
    }
    json.EndArray().EndObject();
    Emit(json);
    return kOk;
}

bool LooksLikeTray(const std::wstring& className) {
    std::wstring lower = className;
    for (auto& c : lower)
        c = static_cast<wchar_t>(std::towlower(c));
    return lower == L"shell_traywnd" || lower.find(L"tray") != std::wstring::npos;
}

// The tray window to click on: a visible one when there is one.
HWND PickTray(const std::vector<HWND>& trays) {
    HWND best = nullptr;
    for (HWND hwnd : trays) {
        if (!best || (IsWindowVisible(hwnd) && !IsWindowVisible(best)))
            best = hwnd;
    }
    return best;
}

// Each icon is a visible child window of the tray, in the order the icons were added.
std::vector<HWND> TrayIcons(HWND tray) {
    std::vector<HWND> icons;
    if (!tray)
        return icons;
    for (HWND child : ChildWindows(tray)) {
        if (IsWindowVisible(child))
            icons.push_back(child);
    }
    return icons;
}

// Wine's explorer hosts the notification area in a window of its own when no tray of the X
// desktop takes the icons; tests click the icons there with real mouse events.
int Tray(const Options& options) {
    options.RejectRest();
    const auto wantedIcons = static_cast<std::size_t>(options.Number(L"--icons", 0));
    const ULONGLONG deadline = GetTickCount64() + options.Millis(L"--wait", 0);
    std::vector<HWND> trays;
    HWND tray = nullptr;
    std::vector<HWND> icons;
    for (;;) {
        trays.clear();
        for (HWND hwnd : TopLevelWindows()) {
            if (LooksLikeTray(ClassOf(hwnd)))
                trays.push_back(hwnd);
        }
        tray = PickTray(trays);
        icons = TrayIcons(tray);
        const bool ready = tray && IsWindowVisible(tray) && icons.size() >= wantedIcons;
        if (ready || GetTickCount64() >= deadline)
            break;
        Sleep(kPollMs);
    }
    const bool ready = tray && IsWindowVisible(tray) && icons.size() >= wantedIcons;
    const auto images = ProcessImages();
    Json json;
    json.BeginObject().Key("tray");
    if (tray) {
        RECT rect{};
        GetWindowRect(tray, &rect);
        json.BeginObject();
        json.Key("hwnd").Uint(HandleNumber(tray));
        json.Key("class").Str(ClassOf(tray)).Key("title").Str(TitleOf(tray));
        json.Key("visible").Bool(IsWindowVisible(tray) != FALSE);
        json.Key("rect").Rect(rect);
        json.Key("client").Rect(ClientRectOnScreen(tray));
        json.EndObject();
    } else {
        json.Null();
    }
    json.Key("icons").BeginArray();
    for (HWND icon : icons) {
        RECT r{};
        GetWindowRect(icon, &r);
        json.BeginObject();
        json.Key("hwnd").Uint(HandleNumber(icon)).Key("class").Str(ClassOf(icon));
        json.Key("rect").Rect(r);
        json.Key("center").BeginArray().Int((r.left + r.right) / 2).Int((r.top + r.bottom) / 2);
        json.EndArray().EndObject();
    }
    json.EndArray();
    json.Key("windows").BeginArray();
    for (HWND hwnd : trays)
        WriteWindow(json, hwnd, -1, images);
    json.EndArray();
    if (!ready)
        json.Key("error").Str(L"no visible tray window with enough icons");
    json.EndObject();
    Emit(json);
    return ready ? kOk : kFailed;
}

// ---------------------------------------------------------------------------------------------
// Desktop events the player reacts to

LRESULT CALLBACK CoverProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    if (msg == WM_PAINT) {
        PAINTSTRUCT ps;
        HDC dc = BeginPaint(hwnd, &ps);
        FillRect(dc, &ps.rcPaint, static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH)));
        EndPaint(hwnd, &ps);
        return 0;
    }
    return DefWindowProcW(hwnd, msg, wp, lp);
}

// What a video player or game shows: a window over the whole primary monitor, in front. With
// --caption, a maximised window with a title bar instead, which must not count.
int Cover(const Options& options) {
    options.RejectRest();
    const DWORD ms = options.Millis(L"--ms", 3000);
    const bool caption = options.Has(L"--caption");
    WNDCLASSW wc{};
    wc.lpfnWndProc = CoverProc;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.lpszClassName = L"tovalin.test.Cover";
    RegisterClassW(&wc);
    MONITORINFO info{};
    info.cbSize = sizeof(info);
    GetMonitorInfoW(MonitorFromPoint(POINT{0, 0}, MONITOR_DEFAULTTOPRIMARY), &info);
    const RECT& m = info.rcMonitor;
    const DWORD style = caption ? WS_OVERLAPPEDWINDOW : WS_POPUP;
    HWND hwnd =
        CreateWindowExW(0, wc.lpszClassName, L"cover", style, m.left, m.top, m.right - m.left,
                        m.bottom - m.top, nullptr, nullptr, wc.hInstance, nullptr);
    if (!hwnd)
        return EmitError(LastErrorText(L"CreateWindowEx"));
    ShowWindow(hwnd, caption ? SW_SHOWMAXIMIZED : SW_SHOW);
    SetForegroundWindow(hwnd);
    const ULONGLONG end = GetTickCount64() + ms;
    while (GetTickCount64() < end) {
        MSG msg;
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE))
            DispatchMessageW(&msg);
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 20, QS_ALLINPUT);
    }
    RECT rect{};
    GetWindowRect(hwnd, &rect);
    Json json;
    json.BeginObject().Key("rect").Rect(rect);
    json.Key("foreground").Bool(GetForegroundWindow() == hwnd).EndObject();
    DestroyWindow(hwnd);
    Emit(json);
    return kOk;
}

// ---------------------------------------------------------------------------------------------
// Windows of another program: what characters stand on

RECT RectOption(const std::wstring& text) {
    long v[4] = {};
    wchar_t tail = 0;
    if (std::swscanf(text.c_str(), L"%ld,%ld,%ld,%ld%lc", &v[0], &v[1], &v[2], &v[3], &tail) != 4)
        throw UsageError{L"a rectangle is LEFT,TOP,WIDTH,HEIGHT: " + text};
    return {v[0], v[1], v[0] + v[2], v[1] + v[3]};
}

LRESULT CALLBACK HostProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    if (msg == WM_DESTROY) {
        static int destroyed = 0;
        const auto total = static_cast<int>(reinterpret_cast<INT_PTR>(GetPropW(hwnd, L"total")));
        if (++destroyed >= total)
            PostQuitMessage(0);
    }
    return DefWindowProcW(hwnd, msg, wp, lp);
}

// Windows titled "ledge 1", "ledge 2", ... in the order given, each shown above the ones before.
int Host(const Options& options) {
    options.RejectRest();
    const std::vector<std::wstring> rects = options.All(L"--rect");
    if (rects.empty())
        throw UsageError{L"host needs --rect L,T,W,H"};
    const DWORD ms = options.Millis(L"--ms", 600000);
    WNDCLASSW wc{};
    wc.lpfnWndProc = HostProc;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.hbrBackground = static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH));
    wc.lpszClassName = L"tovalin.test.Ledge";
    RegisterClassW(&wc);
    for (std::size_t i = 0; i < rects.size(); ++i) {
        const RECT r = RectOption(rects[i]);
        const std::wstring title = L"ledge " + std::to_wstring(i + 1);
        HWND hwnd = CreateWindowExW(0, wc.lpszClassName, title.c_str(), WS_OVERLAPPEDWINDOW, r.left,
                                    r.top, r.right - r.left, r.bottom - r.top, nullptr, nullptr,
                                    wc.hInstance, nullptr);
        if (!hwnd)
            return EmitError(LastErrorText(L"CreateWindowEx"));
        SetPropW(hwnd, L"total", reinterpret_cast<HANDLE>(static_cast<INT_PTR>(rects.size())));
        SetWindowPos(hwnd, HWND_TOP, 0, 0, 0, 0,
                     SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE | SWP_SHOWWINDOW);
    }
    const ULONGLONG end = GetTickCount64() + ms;
    for (;;) {
        MSG msg;
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            if (msg.message == WM_QUIT)
                return kOk;
            DispatchMessageW(&msg);
        }
        if (GetTickCount64() >= end)
            return kOk;
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 50, QS_ALLINPUT);
    }
}

HWND RequiredWindow(const Options& options, const wchar_t* command) {
    if (!options.Has(L"--hwnd"))
        throw UsageError{std::wstring(command) + L" needs --hwnd H"};
    const auto hwnd = reinterpret_cast<HWND>(static_cast<INT_PTR>(options.Number(L"--hwnd", 0)));
    if (!IsWindow(hwnd))
        throw UsageError{L"no such window"};
    return hwnd;
}

int EmitRect(HWND hwnd) {
    RECT rect{};
    GetWindowRect(hwnd, &rect);
    Json json;
    json.BeginObject().Key("rect").Rect(rect);
    json.Key("visible").Bool(IsWindowVisible(hwnd) != FALSE);
    json.Key("iconic").Bool(IsIconic(hwnd) != FALSE).EndObject();
    Emit(json);
    return kOk;
}

int Place(const Options& options) {
    options.RejectRest();
    HWND hwnd = RequiredWindow(options, L"place");
    const RECT r = RectOption(options.Get(L"--rect").value_or(L""));
    if (!SetWindowPos(hwnd, nullptr, r.left, r.top, r.right - r.left, r.bottom - r.top,
                      SWP_NOZORDER | SWP_NOACTIVATE))
        return EmitError(LastErrorText(L"SetWindowPos"));
    return EmitRect(hwnd);
}

int Show(const Options& options) {
    options.RejectRest();
    HWND hwnd = RequiredWindow(options, L"show");
    const std::wstring how = options.Get(L"--how").value_or(L"");
    if (how == L"close") {
        PostMessageW(hwnd, WM_CLOSE, 0, 0);
        const ULONGLONG end = GetTickCount64() + kClickTimeoutMs;
        while (IsWindow(hwnd) && GetTickCount64() < end)
            Sleep(kPollMs);
        Json json;
        json.BeginObject().Key("closed").Bool(!IsWindow(hwnd)).EndObject();
        Emit(json);
        return IsWindow(hwnd) ? kFailed : kOk;
    }
    const int command = how == L"minimize"  ? SW_MINIMIZE
                        : how == L"restore" ? SW_RESTORE
                        : how == L"hide"    ? SW_HIDE
                                            : -1;
    if (command < 0)
        throw UsageError{L"show --how minimize|restore|hide|close"};
    ShowWindow(hwnd, command);
    return EmitRect(hwnd);
}

int WorkArea(const Options& options) {
    options.RejectRest();
    RECT work{};
    SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
    Json json;
    json.BeginObject().Key("work").Rect(work).EndObject();
    Emit(json);
    return kOk;
}

// Where the catcher window was first clicked, in screen pixels.
std::optional<POINT> gCaught;

LRESULT CALLBACK CatcherProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    if (msg == WM_LBUTTONDOWN && !gCaught) {
        POINT at{static_cast<short>(LOWORD(lp)), static_cast<short>(HIWORD(lp))};
        ClientToScreen(hwnd, &at);
        gCaught = at;
        return 0;
    }
    return DefWindowProcW(hwnd, msg, wp, lp);
}

// A window below the characters that tells whether a left click reached it, and where: what
// a click that goes through a character must find.
int CatchClick(const Options& options) {
    options.RejectRest();
    const int left = static_cast<int>(options.Number(L"--left", 0));
    const int top = static_cast<int>(options.Number(L"--top", 0));
    const int width = static_cast<int>(options.Number(L"--width", 200));
    const int height = static_cast<int>(options.Number(L"--height", 200));
    const DWORD ms = options.Millis(L"--wait", 20000);
    WNDCLASSW wc{};
    wc.lpfnWndProc = CatcherProc;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.hbrBackground = GetSysColorBrush(COLOR_WINDOW);
    wc.lpszClassName = L"tovalin.test.Catcher";
    RegisterClassW(&wc);
    HWND hwnd = CreateWindowExW(WS_EX_TOOLWINDOW, wc.lpszClassName, L"catcher", WS_POPUP, left, top,
                                width, height, nullptr, nullptr, wc.hInstance, nullptr);
    if (!hwnd)
        return EmitError(LastErrorText(L"CreateWindowEx"));
    ShowWindow(hwnd, SW_SHOWNOACTIVATE);
    UpdateWindow(hwnd);
    Json ready;
    ready.BeginObject().Key("ready").Bool(true).Key("hwnd").Uint(
        static_cast<std::uint64_t>(reinterpret_cast<UINT_PTR>(hwnd)));
    ready.EndObject();
    Emit(ready);
    const ULONGLONG end = GetTickCount64() + ms;
    while (!gCaught && GetTickCount64() < end) {
        MSG msg;
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE))
            DispatchMessageW(&msg);
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 20, QS_ALLINPUT);
    }
    Json json;
    json.BeginObject().Key("clicked").Bool(gCaught.has_value());
    if (gCaught)
        json.Key("x").Int(gCaught->x).Key("y").Int(gCaught->y);
    json.EndObject();
    DestroyWindow(hwnd);
    Emit(json);
    return gCaught ? kOk : kFailed;
}

std::vector<HWND> TopLevelWindowsOf(DWORD pid) {
    std::vector<HWND> found;
    for (HWND hwnd : TopLevelWindows()) {
        DWORD owner = 0;
        GetWindowThreadProcessId(hwnd, &owner);
        if (owner == pid)
            found.push_back(hwnd);
    }
    return found;
}

DWORD RequiredPid(const Options& options, const wchar_t* command) {
    if (!options.Has(L"--pid"))
        throw UsageError{std::wstring(command) + L" needs --pid N"};
    return static_cast<DWORD>(options.Number(L"--pid", 0));
}

// Whether the process's window thread is in a move loop or a menu: a drag's motion before its
// move loop has started is lost, so a test presses and waits for the loop before it moves.
int GuiThread(const Options& options) {
    options.RejectRest();
    const DWORD pid = RequiredPid(options, L"gui-thread");
    const auto windows = TopLevelWindowsOf(pid);
    if (windows.empty())
        return EmitError(L"the process has no top-level window");
    GUITHREADINFO info{};
    info.cbSize = sizeof(info);
    if (!GetGUIThreadInfo(GetWindowThreadProcessId(windows.front(), nullptr), &info))
        return EmitError(L"GetGUIThreadInfo failed");
    Json json;
    json.BeginObject()
        .Key("movesize")
        .Bool((info.flags & GUI_INMOVESIZE) != 0)
        .Key("menu")
        .Bool((info.flags & GUI_INMENUMODE) != 0)
        .EndObject();
    Emit(json);
    return kOk;
}

// A message posted to every top-level window of the process, as the system broadcasts session
// changes and "TaskbarCreated".
int Post(const Options& options) {
    options.RejectRest();
    const DWORD pid = RequiredPid(options, L"post");
    UINT msg = static_cast<UINT>(options.Number(L"--msg", 0));
    if (const auto name = options.Get(L"--msg-name"))
        msg = RegisterWindowMessageW(name->c_str());
    if (msg == 0)
        throw UsageError{L"post needs --msg M or --msg-name NAME"};
    const auto wp = static_cast<WPARAM>(options.Number(L"--wparam", 0));
    const auto lp = static_cast<LPARAM>(options.Number(L"--lparam", 0));
    int posted = 0;
    for (HWND hwnd : TopLevelWindowsOf(pid))
        posted += PostMessageW(hwnd, msg, wp, lp) ? 1 : 0;
    Json json;
    json.BeginObject().Key("message").Uint(msg).Key("posted").Int(posted).EndObject();
    Emit(json);
    return posted > 0 ? kOk : kFailed;
}

// WM_POWERBROADCAST carries a pointer to its setting, so the setting is written into the
// player's own memory and the message sent, not posted.
int DisplayState(const Options& options) {
    options.RejectRest();
    const DWORD pid = RequiredPid(options, L"display-state");
    const auto state = static_cast<DWORD>(options.Number(L"--state", 1));
    UniqueKernelHandle process(OpenProcess(
        PROCESS_VM_OPERATION | PROCESS_VM_WRITE | PROCESS_QUERY_INFORMATION, FALSE, pid));
    if (!process)
        return EmitError(LastErrorText(L"OpenProcess"));
    struct Setting {
        GUID guid;
        DWORD length;
        DWORD state;
    };
    const Setting setting{
        {0x6fe69556, 0x704a, 0x47a0, {0x8f, 0x24, 0xc2, 0x8d, 0x93, 0x6f, 0xda, 0x47}},
        sizeof(DWORD),
        state};
    void* remote = VirtualAllocEx(process.get(), nullptr, sizeof(setting), MEM_COMMIT | MEM_RESERVE,
                                  PAGE_READWRITE);
    if (!remote || !WriteProcessMemory(process.get(), remote, &setting, sizeof(setting), nullptr))
        return EmitError(LastErrorText(L"WriteProcessMemory"));
    int delivered = 0;
    for (HWND hwnd : TopLevelWindowsOf(pid)) {
        DWORD_PTR ignored = 0;
        delivered += SendMessageTimeoutW(hwnd, WM_POWERBROADCAST, PBT_POWERSETTINGCHANGE,
                                         reinterpret_cast<LPARAM>(remote), SMTO_ABORTIFHUNG,
                                         kMessageTimeoutMs, &ignored)
                         ? 1
                         : 0;
    }
    VirtualFreeEx(process.get(), remote, 0, MEM_RELEASE);
    Json json;
    json.BeginObject().Key("state").Uint(state).Key("delivered").Int(delivered).EndObject();
    Emit(json);
    return delivered > 0 ? kOk : kFailed;
}

BOOL CALLBACK AddMonitorJson(HMONITOR monitor, HDC, LPRECT, LPARAM data) {
    MONITORINFO info{};
    info.cbSize = sizeof info;
    if (GetMonitorInfoW(monitor, &info)) {
        Json& json = *reinterpret_cast<Json*>(data);
        json.BeginObject().Key("rect").Rect(info.rcMonitor).Key("work").Rect(info.rcWork);
        json.Key("primary").Bool((info.dwFlags & MONITORINFOF_PRIMARY) != 0).EndObject();
    }
    return TRUE;
}

// The monitors as a program sees them, and the virtual screen around them. --reset first asks
// the system to apply the registry's display settings again, which makes it read the monitors.
int Monitors(const Options& options) {
    const bool reset = options.Has(L"--reset");
    options.RejectRest();
    if (reset)
        ChangeDisplaySettingsExW(nullptr, nullptr, nullptr, 0, nullptr);
    Json json;
    json.BeginObject().Key("monitors").BeginArray();
    EnumDisplayMonitors(nullptr, nullptr, &AddMonitorJson, reinterpret_cast<LPARAM>(&json));
    json.EndArray().Key("virtual").Rect(
        {GetSystemMetrics(SM_XVIRTUALSCREEN), GetSystemMetrics(SM_YVIRTUALSCREEN),
         GetSystemMetrics(SM_XVIRTUALSCREEN) + GetSystemMetrics(SM_CXVIRTUALSCREEN),
         GetSystemMetrics(SM_YVIRTUALSCREEN) + GetSystemMetrics(SM_CYVIRTUALSCREEN)});
    json.EndObject();
    Emit(json);
    return kOk;
}

// The icon goes the way it goes when the shell restarts; the process is not told.
int TrayDelete(const Options& options) {
    options.RejectRest();
    const DWORD pid = RequiredPid(options, L"tray-delete");
    int deleted = 0;
    for (HWND hwnd : TopLevelWindowsOf(pid)) {
        NOTIFYICONDATAW data{};
        data.cbSize = sizeof(data);
        data.hWnd = hwnd;
        data.uID = 349;
        deleted += Shell_NotifyIconW(NIM_DELETE, &data) ? 1 : 0;
    }
    Json json;
    json.BeginObject().Key("deleted").Int(deleted).EndObject();
    Emit(json);
    return deleted > 0 ? kOk : kFailed;
}

// ---------------------------------------------------------------------------------------------
// Controls of another process's windows

HWND RequiredHwnd(const Options& options, const wchar_t* command) {
    if (!options.Has(L"--hwnd"))
        throw UsageError{std::wstring(command) + L" needs --hwnd H"};
    const auto value = static_cast<std::uintptr_t>(options.Number(L"--hwnd", 0));
    const HWND hwnd = reinterpret_cast<HWND>(value);
    if (!IsWindow(hwnd))
        throw UsageError{L"--hwnd names no window"};
    return hwnd;
}

// Memory in the process that owns a window, for the messages whose argument points at a
// structure: the system carries only the standard text messages' arguments across processes.
class RemoteMemory {
  public:
    RemoteMemory(HWND window, std::size_t size) : size_(size) {
        DWORD pid = 0;
        GetWindowThreadProcessId(window, &pid);
        process_.reset(
            OpenProcess(PROCESS_VM_OPERATION | PROCESS_VM_READ | PROCESS_VM_WRITE, FALSE, pid));
        if (process_)
            at_ = VirtualAllocEx(process_.get(), nullptr, size, MEM_COMMIT | MEM_RESERVE,
                                 PAGE_READWRITE);
    }
    ~RemoteMemory() {
        if (at_)
            VirtualFreeEx(process_.get(), at_, 0, MEM_RELEASE);
    }
    RemoteMemory(const RemoteMemory&) = delete;
    RemoteMemory& operator=(const RemoteMemory&) = delete;

    bool Ok() const { return at_ != nullptr; }
    LPARAM Address(std::size_t offset = 0) const {
        return reinterpret_cast<LPARAM>(static_cast<char*>(at_) + offset);
    }
    bool Write(const void* data, std::size_t size, std::size_t offset = 0) const {
        return offset + size <= size_ &&
               WriteProcessMemory(process_.get(), static_cast<char*>(at_) + offset, data, size,
                                  nullptr);
    }
    bool Read(void* data, std::size_t size, std::size_t offset = 0) const {
        return offset + size <= size_ &&
               ReadProcessMemory(process_.get(), static_cast<char*>(at_) + offset, data, size,
                                 nullptr);
    }

  private:
    UniqueKernelHandle process_;
    void* at_ = nullptr;
    std::size_t size_;
};

LRESULT SendWaiting(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    DWORD_PTR result = 0;
    SendMessageTimeoutW(hwnd, msg, wp, lp, SMTO_ABORTIFHUNG, kClickTimeoutMs, &result);
    return static_cast<LRESULT>(result);
}

int SetText(const Options& options) {
    options.RejectRest();
    const HWND control = RequiredHwnd(options, L"set-text");
    const std::wstring text = options.Get(L"--text").value_or(L"");
    // An edit control tells its owner of the change (EN_CHANGE) as typing would.
    SendWaiting(control, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str()));
    Json json;
    json.BeginObject().Key("text").Str(ControlText(control)).EndObject();
    Emit(json);
    return ControlText(control) == text ? kOk : kFailed;
}

int SelectListItem(HWND list, int index) {
    RemoteMemory remote(list, sizeof(LVITEMW));
    LVITEMW item{};
    item.stateMask = LVIS_SELECTED | LVIS_FOCUSED;
    item.state = LVIS_SELECTED | LVIS_FOCUSED;
    if (!remote.Ok() || !remote.Write(&item, sizeof(item)))
        return EmitError(LastErrorText(L"writing into the list's process"));
    SendWaiting(list, LVM_SETITEMSTATE, static_cast<WPARAM>(index), remote.Address());
    const auto selected = static_cast<int>(
        SendWaiting(list, LVM_GETNEXTITEM, static_cast<WPARAM>(-1), LVNI_SELECTED));
    Json json;
    json.BeginObject().Key("selected").Int(selected).EndObject();
    Emit(json);
    return selected == index ? kOk : kFailed;
}

// A combo box does not tell its owner of a selection made by message; the notification a
// user's choice sends is sent after it.
int SelectComboItem(HWND combo, int index) {
    SendWaiting(combo, CB_SETCURSEL, static_cast<WPARAM>(index), 0);
    SendWaiting(GetParent(combo), WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(combo), CBN_SELCHANGE),
                reinterpret_cast<LPARAM>(combo));
    const auto selected = static_cast<int>(SendWaiting(combo, CB_GETCURSEL, 0, 0));
    Json json;
    json.BeginObject().Key("selected").Int(selected).Key("text").Str(ControlText(combo));
    json.EndObject();
    Emit(json);
    return selected == index ? kOk : kFailed;
}

int Select(const Options& options) {
    options.RejectRest();
    const HWND control = RequiredHwnd(options, L"select");
    const auto index = static_cast<int>(options.Number(L"--index", 0));
    const std::wstring cls = ClassOf(control);
    if (SameTextIgnoringCase(cls, L"ComboBox"))
        return SelectComboItem(control, index);
    if (SameTextIgnoringCase(cls, L"SysListView32"))
        return SelectListItem(control, index);
    throw UsageError{L"select works on combo boxes and list views, not " + cls};
}

int ListItems(const Options& options) {
    options.RejectRest();
    const HWND list = RequiredHwnd(options, L"list-items");
    const auto rows = static_cast<int>(SendWaiting(list, LVM_GETITEMCOUNT, 0, 0));
    const HWND header = reinterpret_cast<HWND>(SendWaiting(list, LVM_GETHEADER, 0, 0));
    const int columns = header ? static_cast<int>(SendWaiting(header, HDM_GETITEMCOUNT, 0, 0)) : 1;
    constexpr std::size_t kTextChars = 512;
    RemoteMemory remote(list, sizeof(LVITEMW) + kTextChars * sizeof(wchar_t));
    if (!remote.Ok())
        return EmitError(LastErrorText(L"memory in the list's process"));
    Json json;
    json.BeginObject().Key("items").BeginArray();
    for (int row = 0; row < rows; ++row) {
        json.BeginArray();
        for (int column = 0; column < std::max(columns, 1); ++column) {
            LVITEMW item{};
            item.iSubItem = column;
            item.pszText = reinterpret_cast<wchar_t*>(remote.Address(sizeof(LVITEMW)));
            item.cchTextMax = static_cast<int>(kTextChars);
            remote.Write(&item, sizeof(item));
            const auto length = static_cast<std::size_t>(
                SendWaiting(list, LVM_GETITEMTEXTW, static_cast<WPARAM>(row), remote.Address()));
            std::wstring text(std::min(length, kTextChars - 1), L'\0');
            remote.Read(text.data(), text.size() * sizeof(wchar_t), sizeof(LVITEMW));
            json.Str(text);
        }
        json.EndArray();
    }
    json.EndArray();
    json.Key("selected")
        .Int(SendWaiting(list, LVM_GETNEXTITEM, static_cast<WPARAM>(-1), LVNI_SELECTED));
    json.EndObject();
    Emit(json);
    return kOk;
}

// What the button sends its owner when clicked, posted, so that a modal dialog the click opens
// does not hold the driver.
int Click(const Options& options) {
    options.RejectRest();
    const HWND button = RequiredHwnd(options, L"click");
    const int id = GetDlgCtrlID(button);
    const bool delivered = PostMessageW(GetParent(button), WM_COMMAND, MAKEWPARAM(id, BN_CLICKED),
                                        reinterpret_cast<LPARAM>(button)) != FALSE;
    Json json;
    json.BeginObject().Key("clicked").Int(id).Key("enabled").Bool(IsWindowEnabled(button) != 0);
    json.EndObject();
    Emit(json);
    return delivered ? kOk : kFailed;
}

using UniqueModule = tovalin::platform::UniqueHandle<HMODULE, ::FreeLibrary>;

BOOL CALLBACK FirstName(HMODULE, LPCWSTR, LPWSTR name, LONG_PTR found) {
    auto* first = reinterpret_cast<std::wstring*>(found);
    *first = IS_INTRESOURCE(name) ? L"#" + std::to_wstring(reinterpret_cast<std::uintptr_t>(name))
                                  : std::wstring(name);
    return FALSE;
}

// The icon Explorer shows for an executable: its first icon group, at the size asked for.
UniqueHicon ExecutableIcon(const std::wstring& file, int size, UINT& groups) {
    groups = ExtractIconExW(file.c_str(), -1, nullptr, nullptr, 0);
    const UniqueModule module(LoadLibraryExW(
        file.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE));
    if (!module)
        return {};
    std::wstring name;
    EnumResourceNamesW(module.get(), RT_GROUP_ICON, FirstName, reinterpret_cast<LONG_PTR>(&name));
    if (name.empty())
        return {};
    return UniqueHicon(static_cast<HICON>(
        LoadImageW(module.get(), name.c_str(), IMAGE_ICON, size, size, LR_DEFAULTCOLOR)));
}

std::wstring Hex(const std::vector<std::uint8_t>& bytes) {
    static const wchar_t kDigits[] = L"0123456789abcdef";
    std::wstring text;
    for (std::uint8_t b : bytes) {
        text += kDigits[b >> 4];
        text += kDigits[b & 15];
    }
    return text;
}

// A bitmap's rows top-down at 32 bits per pixel (BGRA), as the screen's device context gives
// them.
std::vector<std::uint8_t> BitmapBytes(HBITMAP bitmap, int width, int height) {
    BITMAPINFO format{};
    format.bmiHeader.biSize = sizeof(format.bmiHeader);
    format.bmiHeader.biWidth = width;
    format.bmiHeader.biHeight = -height;
    format.bmiHeader.biPlanes = 1;
    format.bmiHeader.biBitCount = 32;
    std::vector<std::uint8_t> bytes(static_cast<std::size_t>(width) * height * 4);
    HDC screen = GetDC(nullptr);
    GetDIBits(screen, bitmap, 0, static_cast<UINT>(height), bytes.data(), &format, DIB_RGB_COLORS);
    ReleaseDC(nullptr, screen);
    return bytes;
}

int IconPixels(const Options& options) {
    options.RejectRest();
    const auto file = options.Get(L"--file");
    if (!file)
        throw UsageError{L"icon needs --file PATH"};
    const auto size = static_cast<int>(options.Number(L"--size", 32));
    const bool iconFile =
        file->size() > 4 && SameTextIgnoringCase(file->substr(file->size() - 4), L".ico");
    UINT groups = 0;
    const UniqueHicon icon =
        iconFile ? UniqueHicon(static_cast<HICON>(
                       LoadImageW(nullptr, file->c_str(), IMAGE_ICON, size, size, LR_LOADFROMFILE)))
                 : ExecutableIcon(*file, size, groups);
    ICONINFO info{};
    if (!icon || !GetIconInfo(icon.get(), &info))
        return EmitError(L"no icon in " + *file);
    const UniqueHbitmap colour(info.hbmColor);
    const UniqueHbitmap mask(info.hbmMask);
    BITMAP shape{};
    GetObjectW(colour ? colour.get() : mask.get(), sizeof(shape), &shape);
    const int height = colour ? shape.bmHeight : shape.bmHeight / 2;
    Json json;
    json.BeginObject().Key("width").Int(shape.bmWidth).Key("height").Int(height);
    json.Key("groups").Uint(groups);
    json.Key("colour").Str(colour ? Hex(BitmapBytes(colour.get(), shape.bmWidth, height)) : L"");
    json.Key("mask").Str(Hex(BitmapBytes(mask.get(), shape.bmWidth, height)));
    json.EndObject();
    Emit(json);
    return kOk;
}

int Usage() {
    return EmitError(
        L"usage: tovalin-driver launch|windows|msgbox|press|kill|wait-exit|gui-resources|tray|"
        L"processes|modules|paint|cover|catch-click|post|display-state|tray-delete|set-text|select|"
        L"list-items|click|icon|gui-thread|host|place|show|work-area|monitors [options]",
        kUsage);
}

int Run(int argc, wchar_t** argv) {
    if (argc < 2)
        return Usage();
    const std::wstring command = argv[1];
    if (command == L"launch")
        return Launch(Options(argc, argv, 2, {}));
    if (command == L"windows")
        return ListWindows(Options(argc, argv, 2, {L"--all"}));
    if (command == L"msgbox")
        return MessageBoxInfo(Options(argc, argv, 2, {}));
    if (command == L"press")
        return Press(Options(argc, argv, 2, {}));
    if (command == L"kill")
        return Kill(Options(argc, argv, 2, {}));
    if (command == L"wait-exit")
        return WaitExitCommand(Options(argc, argv, 2, {L"--announce"}));
    if (command == L"gui-resources")
        return GuiResources(Options(argc, argv, 2, {}));
    if (command == L"tray")
        return Tray(Options(argc, argv, 2, {}));
    if (command == L"processes")
        return Processes(Options(argc, argv, 2, {}));
    if (command == L"modules")
        return Modules(Options(argc, argv, 2, {}));
    if (command == L"paint")
        return Paint(Options(argc, argv, 2, {}));
    if (command == L"cover")
        return Cover(Options(argc, argv, 2, {L"--caption"}));
    if (command == L"catch-click")
        return CatchClick(Options(argc, argv, 2, {}));
    if (command == L"post")
        return Post(Options(argc, argv, 2, {}));
    if (command == L"display-state")
        return DisplayState(Options(argc, argv, 2, {}));
    if (command == L"tray-delete")
        return TrayDelete(Options(argc, argv, 2, {}));
    if (command == L"set-text")
        return SetText(Options(argc, argv, 2, {}));
    if (command == L"select")
        return Select(Options(argc, argv, 2, {}));
    if (command == L"list-items")
        return ListItems(Options(argc, argv, 2, {}));
    if (command == L"click")
        return Click(Options(argc, argv, 2, {}));
    if (command == L"icon")
        return IconPixels(Options(argc, argv, 2, {}));
    if (command == L"gui-thread")
        return GuiThread(Options(argc, argv, 2, {}));
    if (command == L"host")
        return Host(Options(argc, argv, 2, {}));
    if (command == L"place")
        return Place(Options(argc, argv, 2, {}));
    if (command == L"show")
        return Show(Options(argc, argv, 2, {}));
    if (command == L"work-area")
        return WorkArea(Options(argc, argv, 2, {}));
    if (command == L"monitors")
        return Monitors(Options(argc, argv, 2, {L"--reset"}));
    return Usage();
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    try {
        return Run(argc, argv);
    } catch (const UsageError& e) {
        return EmitError(e.message, kUsage);
    } catch (const std::exception& e) {
        std::wstring what;
        for (const char* p = e.what(); *p; ++p)
            what += static_cast<wchar_t>(static_cast<unsigned char>(*p));
        return EmitError(L"internal error: " + what);
    }
}
