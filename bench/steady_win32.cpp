// Steady-state benchmark: what five running characters cost once they have settled (CPU time
// against wall time, memory, GDI and USER objects, windows) and proof that they really moved and
// animated meanwhile.
//
//   tovalin-steady-win32.exe CHARACTER.exe SECONDS [WARMUP_SECONDS]
//   tovalin-steady-win32.exe --in-process 静止|直線|浮遊|跳ねる SECONDS [FRAMES_FOLDER]
//
// The first form starts the packed character with a private TEMP folder, waits for its five
// shaped windows and the warm-up (default 3 s), samples the child at both ends of SECONDS and
// ends with a STEADY line. The second runs the scene inside this process, where GDI objects can
// be counted even when GetGuiResources is a stub, and ends with an INPROC line. Both watch the
// character windows every 50 ms and count position changes (moves) and region changes (frames).
#include "motion/worker_win32.h"
#include "platform/forms_win32.h"
#include "platform/handles_win32.h"
#include "shape/frames.h"
#include "shape/frames_win32.h"
#include "shape/scene_win32.h"
#include "support/support_win32.h"

#include <psapi.h>
#include <tlhelp32.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cwchar>
#include <exception>
#include <filesystem>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <tuple>
#include <vector>

namespace {

namespace fs = std::filesystem;
using tovalin::platform::UniqueHrgn;
using tovalin::support::EnvironmentWithTemp;
using tovalin::support::GdiObjects;
using tovalin::support::GuiResourcesWork;
using tovalin::support::ThreadWindows;
using tovalin::support::WindowsOf;

constexpr std::size_t kCharacters = 5;
constexpr double kSampleSeconds = 0.05;
constexpr double kAppearTimeoutSeconds = 30;
constexpr double kInProcessWarmupSeconds = 3;

double NowSeconds() {
    static const LARGE_INTEGER frequency = [] {
        LARGE_INTEGER f;
        ::QueryPerformanceFrequency(&f);
        return f;
    }();
    LARGE_INTEGER now;
    ::QueryPerformanceCounter(&now);
    return static_cast<double>(now.QuadPart) / static_cast<double>(frequency.QuadPart);
}

// A window's region in window coordinates, reduced to a hash: equal shapes give equal values
// wherever the window stands. 0 when the window has no usable region.
std::uint64_t RegionFingerprint(HWND hwnd) {
    UniqueHrgn region(::CreateRectRgn(0, 0, 0, 0));
    const int kind = ::GetWindowRgn(hwnd, region.get());
    if (kind == ERROR || kind == NULLREGION)
        return 0;
    const DWORD size = ::GetRegionData(region.get(), 0, nullptr);
    if (size == 0)
        return 0;
    std::vector<BYTE> data(size);
    if (::GetRegionData(region.get(), size, reinterpret_cast<RGNDATA*>(data.data())) != size)
        return 0;
    std::uint64_t hash = 14695981039346656037ull;  // FNV-1a
    for (BYTE b : data)
        hash = (hash ^ b) * 1099511628211ull;
    return hash;
}

struct ShapedSearch {
    DWORD pid;
    std::vector<HWND> found;
};

BOOL CALLBACK CollectShapedWindow(HWND hwnd, LPARAM lp) {
    auto* search = reinterpret_cast<ShapedSearch*>(lp);
    DWORD pid = 0;
    ::GetWindowThreadProcessId(hwnd, &pid);
    if (pid == search->pid && ::IsWindowVisible(hwnd) && RegionFingerprint(hwnd) != 0)
        search->found.push_back(hwnd);
    return TRUE;
}

// The process's visible top-level windows that carry a region: its characters.
std::vector<HWND> ShapedWindowsOf(DWORD pid) {
    ShapedSearch search{pid, {}};
    ::EnumWindows(CollectShapedWindow, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

// Watches the character windows: how often one stood somewhere new and how often its outline
// changed between two looks.
class MotionWatch {
  public:
    explicit MotionWatch(std::vector<HWND> windows) : windows_(std::move(windows)) {}

    // False when a character window has gone.
    bool Look() {
        for (HWND hwnd : windows_) {
            RECT rect;
            if (!::IsWindow(hwnd) || !::GetWindowRect(hwnd, &rect))
                return false;
            const std::uint64_t region = RegionFingerprint(hwnd);
            auto last = last_.find(hwnd);
            if (last != last_.end()) {
                if (rect.left != last->second.left || rect.top != last->second.top)
                    ++moves_;
                if (region != last->second.region)
                    ++frames_;
            }
            last_[hwnd] = {rect.left, rect.top, region};
            positions_.emplace(hwnd, rect.left, rect.top);
        }
        return true;
    }

    unsigned Moves() const { return moves_; }
    unsigned Frames() const { return frames_; }
    std::size_t DistinctPositions() const { return positions_.size(); }
    std::size_t Windows() const { return windows_.size(); }

  private:
    struct Seen {
        LONG left, top;
        std::uint64_t region;
    };
    std::vector<HWND> windows_;
    std::map<HWND, Seen> last_;
    std::set<std::tuple<HWND, LONG, LONG>> positions_;
    unsigned moves_ = 0;
    unsigned frames_ = 0;
};

struct ProcessSample {
    double wall = 0;       // seconds
    double cpu = 0;        // seconds, kernel + user, as the process reports it
    double threadCpu = 0;  // seconds, kernel + user, summed over the live threads
    unsigned long long privateBytes = 0;
    unsigned long long workingSet = 0;
    DWORD gdi = 0;   // 0: the system does not say
    DWORD user = 0;  // 0: the system does not say
};

double Seconds(const FILETIME& t) {
    return static_cast<double>((static_cast<ULONGLONG>(t.dwHighDateTime) << 32) | t.dwLowDateTime) /
           1e7;
}

// Wine answers GetProcessTimes for another process with a small part of what its threads used;
// their own times are read from the system and add up to the real figure.
double ThreadCpuSeconds(DWORD pid) {
    tovalin::platform::UniqueFile snapshot(::CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0));
    if (!snapshot)
        return 0;
    double total = 0;
    THREADENTRY32 entry{};
    entry.dwSize = sizeof(entry);
    for (BOOL more = ::Thread32First(snapshot.get(), &entry); more;
         more = ::Thread32Next(snapshot.get(), &entry)) {
        if (entry.th32OwnerProcessID != pid)
            continue;
        tovalin::platform::UniqueKernelHandle thread(
            ::OpenThread(THREAD_QUERY_LIMITED_INFORMATION, FALSE, entry.th32ThreadID));
        FILETIME created, exited, kernel, user;
        if (thread && ::GetThreadTimes(thread.get(), &created, &exited, &kernel, &user))
            total += Seconds(kernel) + Seconds(user);
    }
    return total;
}

ProcessSample SampleProcess(HANDLE process) {
    ProcessSample s;
    FILETIME created, exited, kernel, user;
    if (::GetProcessTimes(process, &created, &exited, &kernel, &user))
        s.cpu = Seconds(kernel) + Seconds(user);
    s.threadCpu = ThreadCpuSeconds(::GetProcessId(process));
    s.wall = NowSeconds();
    PROCESS_MEMORY_COUNTERS_EX memory{};
    memory.cb = sizeof(memory);
    if (::GetProcessMemoryInfo(process, reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&memory),
                               sizeof(memory))) {
        // Wine leaves PrivateUsage 0 but fills PagefileUsage, which Windows counts the same way.
        s.privateBytes = memory.PrivateUsage != 0 ? memory.PrivateUsage : memory.PagefileUsage;
        s.workingSet = memory.WorkingSetSize;
    }
    s.gdi = ::GetGuiResources(process, GR_GDIOBJECTS);
    s.user = ::GetGuiResources(process, GR_USEROBJECTS);
    return s;
}

// Windows counts threads that have ended in the process's times, so there the process's figure
// is the larger; under Wine its threads' is.
double CpuSeconds(const ProcessSample& start, const ProcessSample& end) {
    return std::max(end.cpu - start.cpu, end.threadCpu - start.threadCpu);
}

double CpuPerWall(const ProcessSample& start, const ProcessSample& end) {
    const double wall = end.wall - start.wall;
    return wall > 0 ? CpuSeconds(start, end) / wall : 0;
}

// A count the system may not give: Wine's GetGuiResources answers 0, which is no count at all.
std::string CountOrNa(DWORD n, const char* na) {
    return n == 0 ? na : std::to_string(n);
}

void PrintCpu(const ProcessSample& start, const ProcessSample& end) {
    std::printf(
        "CPU time / wall time:  %.6f (%.3f s in %.3f s; process times %.3f, threads %.3f)\n",
        CpuPerWall(start, end), CpuSeconds(start, end), end.wall - start.wall, end.cpu - start.cpu,
        end.threadCpu - start.threadCpu);
}

void PrintMotion(const MotionWatch& watch) {
    std::printf("position changes:      %u (%zu distinct positions of %zu windows)\n",
                watch.Moves(), watch.DistinctPositions(), watch.Windows());
    std::printf("region changes:        %u\n", watch.Frames());
}

// ---- The character as a child process ----

// A private temporary folder, removed with everything in it when the object goes.
class TempFolder {
  public:
    TempFolder() {
        std::error_code ec;
        path_ = fs::temp_directory_path(ec) /
                (L"tovalin-bench-steady-" + std::to_wstring(::GetCurrentProcessId()));
        fs::create_directories(path_, ec);
    }
    ~TempFolder() {
        std::error_code ec;
        fs::remove_all(path_, ec);
    }
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;
    std::wstring Path() const { return path_.wstring(); }

  private:
    fs::path path_;
};

// The character's process; terminated and waited for when the object goes, before its
// temporary folder is removed.
class Child {
  public:
    Child(const std::wstring& exe, std::vector<wchar_t> environment) {
        std::wstring commandLine = L"\"" + exe + L"\"";
        STARTUPINFOW si{};
        si.cb = sizeof(si);
        PROCESS_INFORMATION pi{};
        if (::CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, FALSE,
                             CREATE_UNICODE_ENVIRONMENT, environment.data(), nullptr, &si, &pi)) {
            ::CloseHandle(pi.hThread);
            process_.reset(pi.hProcess);
            pid_ = pi.dwProcessId;
        }
    }
    ~Child() {
        if (process_) {
            ::TerminateProcess(process_.get(), 0);
            ::WaitForSingleObject(process_.get(), 10000);
        }
    }
    Child(const Child&) = delete;
    Child& operator=(const Child&) = delete;

    bool Started() const { return static_cast<bool>(process_); }
    HANDLE Process() const { return process_.get(); }
    DWORD Pid() const { return pid_; }
    // Waits up to seconds; false when the process ended meanwhile.
    bool LivesFor(double seconds) const {
        const auto ms = static_cast<DWORD>(std::max(0.0, seconds) * 1000);
        return ::WaitForSingleObject(process_.get(), ms) == WAIT_TIMEOUT;
    }

  private:
    tovalin::platform::UniqueKernelHandle process_;
    DWORD pid_ = 0;
};

// The child's character windows once there are enough of them; nothing when they did not come.
std::optional<std::vector<HWND>> WaitForCharacters(const Child& child) {
    const double end = NowSeconds() + kAppearTimeoutSeconds;
    while (NowSeconds() < end) {
        std::vector<HWND> windows = ShapedWindowsOf(child.Pid());
        if (windows.size() >= kCharacters)
            return windows;
        if (!child.LivesFor(0.02))
            break;
    }
    return std::nullopt;
}

int Fail(const wchar_t* message) {
    std::fwprintf(stderr, L"%ls\n", message);
    return 1;
}

int RunCharacter(const std::wstring& exe, double seconds, double warmup) {
    std::error_code ec;
    if (fs::exists(fs::path(exe).parent_path() / L"TOVALIN.ini", ec))
        std::fwprintf(stderr, L"note: TOVALIN.ini beside the character overrides its package\n");
    TempFolder temp;
    Child child(exe, EnvironmentWithTemp(temp.Path()));
    if (!child.Started())
        return Fail(L"the character could not be started");
    std::optional<std::vector<HWND>> windows = WaitForCharacters(child);
    if (!windows) {
        return Fail(child.LivesFor(0) ? L"five shaped character windows did not appear in 30 s"
                                      : L"the character ended before its windows appeared");
    }
    if (!child.LivesFor(warmup))
        return Fail(L"the character ended during the warm-up");

    MotionWatch watch(*windows);
    const unsigned windowsStart = WindowsOf(child.Pid());
    const ProcessSample start = SampleProcess(child.Process());
    watch.Look();
    for (double next = start.wall + kSampleSeconds; next < start.wall + seconds;
         next += kSampleSeconds) {
        if (!child.LivesFor(next - NowSeconds()))
            return Fail(L"the character ended during the run");
        if (!watch.Look())
            return Fail(L"a character window went away during the run");
    }
    if (!child.LivesFor(start.wall + seconds - NowSeconds()))
        return Fail(L"the character ended during the run");
    const ProcessSample end = SampleProcess(child.Process());
    const unsigned windowsEnd = WindowsOf(child.Pid());

    const double wall = end.wall - start.wall;
    PrintCpu(start, end);
    std::printf("private bytes:         %llu -> %llu\n", start.privateBytes, end.privateBytes);
    std::printf("working set:           %llu -> %llu\n", start.workingSet, end.workingSet);
    std::printf("windows:               %u -> %u\n", windowsStart, windowsEnd);
    std::printf("GDI objects:           %s -> %s\n", CountOrNa(start.gdi, "n/a").c_str(),
                CountOrNa(end.gdi, "n/a").c_str());
    std::printf("USER objects:          %s -> %s\n", CountOrNa(start.user, "n/a").c_str(),
                CountOrNa(end.user, "n/a").c_str());
    PrintMotion(watch);
    std::printf(
        "STEADY cpu_per_wall=%.6f private_start=%llu private_end=%llu ws_start=%llu ws_end=%llu "
        "windows_start=%u windows_end=%u gdi_start=%s gdi_end=%s user_start=%s user_end=%s "
        "moves=%u frames=%u seconds=%.3f\n",
        CpuPerWall(start, end), start.privateBytes, end.privateBytes, start.workingSet,
        end.workingSet, windowsStart, windowsEnd, CountOrNa(start.gdi, "na").c_str(),
        CountOrNa(end.gdi, "na").c_str(), CountOrNa(start.user, "na").c_str(),
        CountOrNa(end.user, "na").c_str(), watch.Moves(), watch.Frames(), wall);
    return 0;
}

// ---- The scene inside this process ----

// Runs this thread's messages, timers included, until the given time, looking at the characters
// between messages when a watch is given.
void RunMessagesUntil(double end, MotionWatch* watch) {
    double nextLook = NowSeconds() + kSampleSeconds;
    while (NowSeconds() < end) {
        MSG msg;
        while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            ::TranslateMessage(&msg);
            ::DispatchMessageW(&msg);
        }
        tovalin::platform::FreeRetiredWindows();
        if (watch && NowSeconds() >= nextLook) {
            watch->Look();
            nextLook += kSampleSeconds;
        }
        ::MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
    }
}

fs::path DefaultFramesFolder() {
    wchar_t self[MAX_PATH];
    ::GetModuleFileNameW(nullptr, self, MAX_PATH);
    // build/mingw64/THIS.exe in the source tree
    return fs::path(self).parent_path().parent_path().parent_path() / L"assets" / L"sample" /
           L"frames";
}

// Loads the folder's GIF files in name order; the number loaded.
int LoadFramesFrom(const fs::path& folder) {
    std::vector<fs::path> files;
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator(folder, ec)) {
        std::wstring ext = entry.path().extension().wstring();
        std::transform(ext.begin(), ext.end(), ext.begin(), ::towlower);
        if (ext == L".gif")
            files.push_back(entry.path());
    }
    std::sort(files.begin(), files.end());
    tovalin::shape::ClearFrameStore();
    int loaded = 0;
    for (const fs::path& file : files) {
        if (loaded == tovalin::shape::kMaxFrames)
            break;
        if (tovalin::shape::LoadFrame(file.wstring()) == tovalin::shape::FrameLoad::kLoaded)
            ++loaded;
    }
    return loaded;
}

void TearDownScene() {
    for (auto& view : tovalin::shape::gViews)
        view->Unload();
    tovalin::shape::gViews.clear();
    tovalin::motion::frmWork::Get().Timer1.SetEnabled(false);
    tovalin::platform::FreeRetiredWindows();
}

int RunInProcess(const std::wstring& mode, double seconds, const fs::path& frames) {
    namespace shape = tovalin::shape;
    const tovalin::platform::ComApartment com;
    tovalin::motion::frmWork::Get();
    const int loaded = LoadFramesFrom(frames);
    if (loaded == 0)
        return Fail((L"no frame could be loaded from " + frames.wstring()).c_str());
    shape::gCount = L"5";
    shape::gLocation = L"乱数";
    shape::gAnim = L"速い";
    shape::gMove = mode;
    shape::SetupScene();
    RunMessagesUntil(NowSeconds() + kInProcessWarmupSeconds, nullptr);
    std::vector<HWND> windows = ShapedWindowsOf(::GetCurrentProcessId());
    if (shape::gViews.size() != kCharacters || windows.size() != kCharacters) {
        TearDownScene();
        return Fail(L"the scene did not show five shaped character windows");
    }

    MotionWatch watch(windows);
    const unsigned gdiStart = GdiObjects();
    const unsigned windowsStart = ThreadWindows();
    const ProcessSample start = SampleProcess(::GetCurrentProcess());
    watch.Look();
    RunMessagesUntil(start.wall + seconds, &watch);
    const ProcessSample end = SampleProcess(::GetCurrentProcess());
    const unsigned gdiEnd = GdiObjects();
    const unsigned windowsEnd = ThreadWindows();
    TearDownScene();

    std::printf("frames loaded:         %d\n", loaded);
    PrintCpu(start, end);  // this whole process: the scene and the looks at it
    std::printf("GDI objects:           %u -> %u (%s)\n", gdiStart, gdiEnd,
                GuiResourcesWork() ? "GetGuiResources" : "handle table");
    std::printf("windows:               %u -> %u\n", windowsStart, windowsEnd);
    PrintMotion(watch);
    std::printf(
        "INPROC gdi_start=%u gdi_end=%u windows_start=%u windows_end=%u cpu_per_wall=%.6f "
        "moves=%u frames=%u seconds=%.3f\n",
        gdiStart, gdiEnd, windowsStart, windowsEnd, CpuPerWall(start, end), watch.Moves(),
        watch.Frames(), end.wall - start.wall);
    return 0;
}

bool IsMoveWord(const std::wstring& word) {
    for (const wchar_t* move : {L"静止", L"直線", L"浮遊", L"跳ねる"}) {
        if (word == move)
            return true;
    }
    return false;
}

int Usage(const wchar_t* self) {
    std::fwprintf(stderr,
                  L"usage: %ls CHARACTER.exe SECONDS [WARMUP_SECONDS]\n"
                  L"       %ls --in-process MODE SECONDS [FRAMES_FOLDER]\n"
                  L"MODE is one of the four movement words of the settings.\n",
                  self, self);
    return 2;
}

int Main(int argc, wchar_t** argv) {
    if (argc >= 4 && std::wstring(argv[1]) == L"--in-process") {
        const double seconds = std::wcstod(argv[3], nullptr);
        if (!IsMoveWord(argv[2]) || seconds <= 0 || argc > 5)
            return Usage(argv[0]);
        return RunInProcess(argv[2], seconds,
                            argc == 5 ? fs::path(argv[4]) : DefaultFramesFolder());
    }
    if (argc < 3 || argc > 4)
        return Usage(argv[0]);
    const double seconds = std::wcstod(argv[2], nullptr);
    const double warmup = argc == 4 ? std::wcstod(argv[3], nullptr) : 3.0;
    if (seconds <= 0 || warmup < 0)
        return Usage(argv[0]);
    return RunCharacter(argv[1], seconds, warmup);
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    try {
        return Main(argc, argv);
    } catch (const std::exception& e) {
        std::fwprintf(stderr, L"error: %hs\n", e.what());
        return 1;
    }
}
