// Steady-state benchmark, Windows side: starts a program whose five shaped windows are measured
// and reads its figures for the Linux-side orchestrator (bench/steady.py), or runs the scene in
// this process to count its GDI objects.
//
//   tovalin-steady-win32.exe PROGRAM.exe [ARGUMENT...]
//   tovalin-steady-win32.exe --in-process 静止|直線|浮遊|跳ねる SECONDS [FRAMES_FOLDER]
//
// The first form starts the program (a packed character, or the floor) with a private TEMP folder
// and TOVALIN_COUNTERS=1, waits for its five shaped windows and prints READY; then every "mark"
// line on standard input gets a MARK line: the child's CPU time as Windows reports it, its
// private memory, its windows and its shared counts. Nothing else is asked of the system between
// two marks: the CPU time that counts is read from Linux around them. "rates F M" gives the floor
// new rates (a RATES line says whether it took them); "end" ends the child.
// The second form runs the scene inside this process, where GDI objects can be counted even when
// GetGuiResources is a stub, and ends with an INPROC line; it watches the character windows
// every 50 ms and counts position changes (moves) and region changes (frames).
#include "platform/module_path.h"
#include "motion/worker_win32.h"
#include "platform/counters_win32.h"
#include "platform/forms_win32.h"
#include "platform/handles_win32.h"
#include "shape/frames.h"
#include "shape/frames_win32.h"
#include "shape/scene_win32.h"
#include "support/support_win32.h"

#include "floor_rates_win32.h"

#include <psapi.h>
#include <tlhelp32.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <cwchar>
#include <exception>
#include <filesystem>
#include <iterator>
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

using tovalin::support::NowSeconds;

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
    Child(std::wstring commandLine, std::vector<wchar_t> environment) {
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

// The counters' names in the MARK lines, in the order of platform::Counter.
constexpr const char* kCounterNames[] = {"frame_switches", "region_changes", "repaints",
                                         "window_moves",   "timer_starts",   "timer_stops",
                                         "pump_passes",    "messages"};
static_assert(std::size(kCounterNames) == tovalin::platform::kCounterCount);

// One look at the child from the Windows side: its figures as Windows reports them and its
// shared counts. While the child runs this program asks the system nothing else, so the window
// the caller measures between two marks holds none of its requests.
void PrintMark(const Child& child) {
    const ProcessSample sample = SampleProcess(child.Process());
    std::printf("MARK wall=%.6f thread_cpu=%.6f process_cpu=%.6f private=%llu windows=%u",
                sample.wall, sample.threadCpu, sample.cpu, sample.privateBytes,
                WindowsOf(child.Pid()));
    if (const auto counts = tovalin::platform::ReadSharedCounters(child.Pid())) {
        for (std::size_t i = 0; i < counts->size(); ++i)
            std::printf(" %s=%llu", kCounterNames[i],
                        static_cast<unsigned long long>((*counts)[i]));
    } else {
        std::printf(" counters=none");
    }
    std::printf("\n");
    std::fflush(stdout);
}

// Writes new rates into the floor's shared block (floor_rates_win32.h); false when the child
// shares none.
bool SetFloorRates(const Child& child, const std::string& command) {
    double frames = 0, moves = 0;
    if (std::sscanf(command.c_str(), "rates %lf %lf", &frames, &moves) != 2)
        return false;
    const tovalin::platform::UniqueKernelHandle mapping(::OpenFileMappingW(
        FILE_MAP_WRITE, FALSE, tovalin::bench::FloorRatesName(child.Pid()).c_str()));
    if (!mapping)
        return false;
    const tovalin::platform::UniqueMapView view(
        ::MapViewOfFile(mapping.get(), FILE_MAP_WRITE, 0, 0, sizeof(tovalin::bench::FloorRates)));
    if (!view)
        return false;
    auto* rates = static_cast<volatile tovalin::bench::FloorRates*>(const_cast<void*>(view.get()));
    rates->framesPerSecond = frames;
    rates->movesPerSecond = moves;
    return true;
}

// A command line that hands the program exactly these arguments.
std::wstring CommandLine(const std::vector<std::wstring>& arguments) {
    std::wstring line;
    for (const std::wstring& argument : arguments) {
        if (!line.empty())
            line += L' ';
        if (!argument.empty() && argument.find_first_of(L" \t\"") == std::wstring::npos)
            line += argument;
        else
            line += L'"' + argument + L'"';  // the frames folder and the programs have no quotes
    }
    return line;
}

// Starts the program with a private TEMP folder and its counters shared, waits for its five
// shaped windows and says READY; then, for every "mark" line on standard input, prints a MARK
// line, until "end" or the end of the input, when the program is ended.
int ServeChild(const std::vector<std::wstring>& arguments) {
    std::error_code ec;
    if (fs::exists(fs::path(arguments.front()).parent_path() / L"TOVALIN.ini", ec))
        std::fwprintf(stderr, L"note: TOVALIN.ini beside the character overrides its package\n");
    TempFolder temp;
    Child child(CommandLine(arguments), EnvironmentWithTemp(temp.Path(), {L"TOVALIN_COUNTERS=1"}));
    if (!child.Started())
        return Fail(L"the program could not be started");
    const std::optional<std::vector<HWND>> windows = WaitForCharacters(child);
    if (!windows) {
        return Fail(child.LivesFor(0) ? L"five shaped windows did not appear in 30 s"
                                      : L"the program ended before its windows appeared");
    }
    std::printf("READY pid=%lu windows=%zu\n", child.Pid(), windows->size());
    std::fflush(stdout);
    char line[64];
    while (std::fgets(line, sizeof(line), stdin)) {
        const std::string command(line, std::strcspn(line, "\r\n"));
        if (command == "end")
            break;
        if (!child.LivesFor(0))
            return Fail(L"the program ended during the run");
        if (command == "mark") {
            PrintMark(child);
        } else if (command.starts_with("rates ")) {
            std::printf("RATES %s\n", SetFloorRates(child, command) ? "set" : "failed");
            std::fflush(stdout);
        }
    }
    std::printf("END\n");
    std::fflush(stdout);
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
    // build/mingw64/THIS.exe in the source tree
    return fs::path(tovalin::platform::ModulePath()).parent_path().parent_path().parent_path() /
           L"assets" / L"sample" / L"frames";
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
    shape::UseSettingWords(L"5", mode, L"乱数", L"速い");
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
                  L"usage: %ls PROGRAM.exe [ARGUMENT...]   (then \"mark\" lines on stdin)\n"
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
    if (argc < 2 || std::wstring(argv[1]).starts_with(L"--"))
        return Usage(argv[0]);
    return ServeChild(std::vector<std::wstring>(argv + 1, argv + argc));
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
