// One frame switch as a character's animation makes it: ShowFrame on a shown, shaped window from
// the stored region data, and the paint that follows, timed over the 50 sample frames.
//
//   tools/wine-run build/mingw64/tovalin-frame-switch-win32.exe FRAMES-FOLDER [ROUNDS]
//
// Prints the median and the spread of one switch (ShowFrame alone, and ShowFrame with its paint)
// and a machine-readable line "SWITCH show_us=.. paint_us=.. frames=.. calls=..".
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "motion/worker_win32.h"
#include "platform/forms_win32.h"
#include "platform/handles_win32.h"
#include "platform/picture_win32.h"
#include "shape/frames.h"
#include "shape/frames_win32.h"
#include "shape/scene_win32.h"
#include "shape/view_win32.h"
#include "support/support_win32.h"

namespace {

using namespace tovalin;

double NowUs() {
    return tovalin::support::NowSeconds() * 1e6;
}

double Percentile(std::vector<double> values, double p) {
    std::sort(values.begin(), values.end());
    const auto at = static_cast<std::size_t>(p * static_cast<double>(values.size() - 1));
    return values[at];
}

int LoadFrames(const std::wstring& folder) {
    const platform::PictureBatch batch;
    shape::ClearFrameStore();
    for (int n = 1; n <= shape::kMaxFrames; ++n) {
        wchar_t name[32];
        swprintf(name, 32, L"\\frame%02d.gif", n);
        const std::wstring path = folder + name;
        if (::GetFileAttributesW(path.c_str()) == INVALID_FILE_ATTRIBUTES)
            break;
        if (shape::LoadFrame(path) != shape::FrameLoad::kLoaded)
            break;
    }
    return shape::gFrameCount;
}

// One still character at the centre, its timers off, so that only the calls timed here switch
// its frames.
shape::frmView* StillCharacter() {
    motion::frmWork::Get();
    shape::UseSettingWords(L"1", L"静止", L"中心", L"速い");
    shape::SetupScene();
    motion::frmWork::Get().Timer1.SetEnabled(false);
    if (shape::gViews.size() != 1)
        return nullptr;
    shape::gViews[0]->Timer1.SetEnabled(false);
    return shape::gViews[0].get();
}

// CPU time this thread has spent, in microseconds: a switch may also wait for the display.
double ThreadCpuUs() {
    FILETIME created, ended, kernel, user;
    if (!::GetThreadTimes(::GetCurrentThread(), &created, &ended, &kernel, &user))
        return 0;
    auto us = [](const FILETIME& t) {
        return static_cast<double>(ULARGE_INTEGER{{t.dwLowDateTime, t.dwHighDateTime}}.QuadPart) /
               10.0;
    };
    return us(kernel) + us(user);
}

// The least a switch can ask of the system: the stored region handed to the window, and the
// repaint it causes, with nothing of the player's around it.
void BareSwitch(int k, HWND hwnd) {
    const auto* data = reinterpret_cast<const RGNDATA*>(shape::gRgnData[k].bytes.data());
    const DWORD length = data->rdh.dwSize + data->rdh.nRgnSize;
    HRGN region = ::ExtCreateRegion(nullptr, length, data);
    if (region && !::SetWindowRgn(hwnd, region, TRUE))
        ::DeleteObject(region);
    ::UpdateWindow(hwnd);
}

void Report(const char* what, const std::vector<double>& us) {
    std::printf("%-28s median %8.1f us   10%% %8.1f us   90%% %8.1f us\n", what,
                Percentile(us, 0.5), Percentile(us, 0.1), Percentile(us, 0.9));
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: tovalin-frame-switch-win32.exe FRAMES-FOLDER [ROUNDS]\n");
        return 2;
    }
    const int rounds = argc >= 3 ? std::max(1, _wtoi(argv[2])) : 10;
    const platform::ComApartment com;
    const int frames = LoadFrames(argv[1]);
    if (frames < 2) {
        std::fprintf(stderr, "fewer than two frames could be loaded from the folder\n");
        return 1;
    }
    shape::frmView* view = StillCharacter();
    if (!view || !view->hwnd() || !::IsWindowVisible(view->hwnd())) {
        std::fprintf(stderr, "the character window was not created\n");
        return 1;
    }
    std::vector<double> show, withPaint;
    double cpuStart = 0;
    for (int round = 0; round < rounds; ++round) {
        if (round == 1)
            cpuStart = ThreadCpuUs();
        for (int k = 0; k < frames; ++k) {
            const double start = NowUs();
            shape::ShowFrame(k, *view);
            const double shown = NowUs();
            ::UpdateWindow(view->hwnd());
            const double painted = NowUs();
            if (round > 0) {  // the first round warms the caches
                show.push_back(shown - start);
                withPaint.push_back(painted - start);
            }
        }
    }
    const double cpuPerSwitch = (ThreadCpuUs() - cpuStart) / static_cast<double>(show.size());
    std::vector<double> bare;
    const double bareCpuStart = ThreadCpuUs();
    for (int round = 1; round < rounds; ++round) {
        for (int k = 0; k < frames; ++k) {
            const double start = NowUs();
            BareSwitch(k, view->hwnd());
            bare.push_back(NowUs() - start);
        }
    }
    const double bareCpu = (ThreadCpuUs() - bareCpuStart) / static_cast<double>(bare.size());
    std::printf("%d frames, %zu switches timed\n", frames, show.size());
    Report("ShowFrame", show);
    Report("ShowFrame and its paint", withPaint);
    std::printf("%-28s mean   %8.1f us of this thread's CPU time\n", "ShowFrame and its paint",
                cpuPerSwitch);
    Report("region and repaint alone", bare);
    std::printf("%-28s mean   %8.1f us of this thread's CPU time\n", "region and repaint alone",
                bareCpu);
    std::printf(
        "SWITCH show_us=%.1f paint_us=%.1f cpu_us=%.1f bare_us=%.1f bare_cpu_us=%.1f "
        "frames=%d calls=%zu\n",
        Percentile(show, 0.5), Percentile(withPaint, 0.5), cpuPerSwitch, Percentile(bare, 0.5),
        bareCpu, frames, show.size());
    for (auto& v : shape::gViews)
        v->Unload();
    shape::gViews.clear();
    platform::FreeRetiredWindows();
    return 0;
}
