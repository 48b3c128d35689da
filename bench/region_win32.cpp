// Region building per frame: the direct builder against one 1x1 region per character pixel
// united with CombineRgn. Both must give the same bytes; the table shows median times.
//
//   tools/wine-run build/mingw64/tovalin-region-win32.exe [frames-folder]
//
// The folder defaults to assets\sample\frames of the source tree holding the build folder; when it
// holds no GIF, 50 generated 49 x 64 masks are measured instead.
#include <windows.h>
#include <objbase.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <random>
#include <string>
#include <vector>

#include "platform/module_path.h"
#include "platform/handles_win32.h"
#include "platform/picture_win32.h"
#include "platform/text_win32.h"
#include "shape/region.h"
#include "support/support_win32.h"

namespace {

using tovalin::platform::UniqueHrgn;
using tovalin::shape::BuildRegionData;
using tovalin::shape::RegionRecord;

struct Frame {
    std::string name;
    std::int32_t width = 0, height = 0;
    std::vector<std::uint32_t> pixels;
};

double Seconds(LONGLONG ticks) {
    static const double frequency = [] {
        LARGE_INTEGER f;
        ::QueryPerformanceFrequency(&f);
        return static_cast<double>(f.QuadPart);
    }();
    return static_cast<double>(ticks) / frequency;
}

LONGLONG Now() {
    LARGE_INTEGER t;
    ::QueryPerformanceCounter(&t);
    return t.QuadPart;
}

double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

std::uint32_t Reference(const Frame& f, RegionRecord& record) {
    const std::uint32_t key = f.pixels[0] & 0xFFFFFF;
    UniqueHrgn united;
    for (std::int32_t y = 0; y < f.height; ++y) {
        for (std::int32_t x = 0; x < f.width; ++x) {
            if ((f.pixels[static_cast<std::size_t>(y * f.width + x)] & 0xFFFFFF) == key)
                continue;
            UniqueHrgn pixel(::CreateRectRgn(x, y, x + 1, y + 1));
            if (!united)
                united = std::move(pixel);
            else
                ::CombineRgn(united.get(), pixel.get(), united.get(), RGN_OR);
        }
    }
    if (!united)
        return 0;
    return ::GetRegionData(united.get(), tovalin::shape::kRegionRecordSize,
                           reinterpret_cast<RGNDATA*>(record.bytes.data()));
}

std::uint32_t Direct(const Frame& f, RegionRecord& record) {
    return BuildRegionData(f.pixels, f.width, f.height, f.pixels[0], record);
}

// Median seconds of one call, timing `batch` calls at a time so that a call far shorter than
// the counter's tick is still measured.
template <typename Build>
double MedianSeconds(const Frame& f, Build build, int samples, int batch) {
    RegionRecord record;
    std::vector<double> times;
    for (int s = 0; s < samples; ++s) {
        const LONGLONG start = Now();
        for (int i = 0; i < batch; ++i)
            build(f, record);
        times.push_back(Seconds(Now() - start) / batch);
    }
    return Median(times);
}

std::wstring DefaultFolder() {
    std::wstring path = tovalin::platform::ModulePath();
    for (int up = 0; up < 3; ++up)
        path = path.substr(0, path.find_last_of(L'\\'));
    return path + L"\\assets\\sample\\frames";
}

std::vector<Frame> LoadFrames(const std::wstring& folder) {
    const std::vector<std::wstring> paths = tovalin::support::FilesIn(folder, {L"*.gif"});
    std::vector<Frame> frames;
    const std::uint32_t face = tovalin::platform::ButtonFaceRgb();
    for (const std::wstring& path : paths) {
        std::wstring error;
        auto picture = tovalin::platform::DecodePicture(path, face, &error);
        if (!picture) {
            std::printf("skipped %s: %s\n", tovalin::platform::ToUtf8(path).c_str(),
                        tovalin::platform::ToUtf8(error).c_str());
            continue;
        }
        const std::wstring name = path.substr(path.find_last_of(L'\\') + 1);
        frames.push_back({tovalin::platform::ToUtf8(name), picture->width, picture->height,
                          std::move(picture->pixels)});
    }
    return frames;
}

// A walking figure's worth of pixels: a wobbling body, a head and two legs, with a
// transparent top-left corner.
std::vector<Frame> GeneratedFrames() {
    std::mt19937 random(7);
    std::vector<Frame> frames;
    for (int k = 0; k < 50; ++k) {
        Frame f{"generated " + std::to_string(k + 1), 49, 64,
                std::vector<std::uint32_t>(49 * 64, 0xD4D0C8)};
        const double phase = k * 0.125663706;  // one stride over the 50 frames
        for (std::int32_t y = 0; y < f.height; ++y) {
            for (std::int32_t x = 0; x < f.width; ++x) {
                const double dx = x - 24.5, headY = y - 12.0, bodyY = y - 36.0;
                const bool head = dx * dx + headY * headY < 81.0;
                const bool body =
                    dx * dx / 196.0 + bodyY * bodyY / 225.0 < 1.0 + 0.1 * std::sin(phase + y);
                const double stride = 6.0 * std::sin(phase);
                const bool legs = y >= 50 && (std::abs(dx - 6.0 - stride) < 3.0 ||
                                              std::abs(dx + 6.0 + stride) < 3.0);
                if (head || body || legs)
                    f.pixels[static_cast<std::size_t>(y * 49 + x)] =
                        0x202020 + (random() % 4) * 0x303030;
            }
        }
        frames.push_back(std::move(f));
    }
    return frames;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    tovalin::platform::ComApartment com;
    const std::wstring folder = argc > 1 ? argv[1] : DefaultFolder();
    std::vector<Frame> frames = LoadFrames(folder);
    const bool generated = frames.empty();
    if (generated)
        frames = GeneratedFrames();
    std::printf("%zu %s frames from %s\n\n", frames.size(), generated ? "generated" : "sample",
                generated ? "(none found)" : tovalin::platform::ToUtf8(folder).c_str());
    std::printf("%-16s %5s %6s %6s %11s %14s %9s %s\n", "frame", "size", "rects", "bytes",
                "direct us", "reference us", "speed-up", "bytes equal");

    std::vector<double> direct, reference, ratios;
    int mismatches = 0;
    for (const Frame& f : frames) {
        RegionRecord a, b;
        a.bytes.fill(0xC3);
        b.bytes.fill(0xC3);
        const std::uint32_t ra = Direct(f, a), rb = Reference(f, b);
        const bool same = ra == rb && a.bytes == b.bytes;
        mismatches += same ? 0 : 1;
        const double d = MedianSeconds(f, Direct, 21, 200);
        const double r = MedianSeconds(f, Reference, 11, 1);
        direct.push_back(d);
        reference.push_back(r);
        ratios.push_back(r / d);
        const std::string size = std::to_string(f.width) + "x" + std::to_string(f.height);
        std::printf("%-16s %5s %6u %6u %11.2f %14.1f %8.0fx %s\n", f.name.c_str(), size.c_str(),
                    ra ? (ra - 32) / 16 : 0, ra, d * 1e6, r * 1e6, r / d, same ? "yes" : "NO");
    }
    std::printf(
        "\nmedian per frame: direct %.2f us, reference %.1f us, speed-up %.0fx "
        "(median of per-frame ratios %.0fx)\n",
        Median(direct) * 1e6, Median(reference) * 1e6, Median(reference) / Median(direct),
        Median(ratios));
    std::printf("REGION direct_us=%.2f reference_us=%.1f frames=%zu\n", Median(direct) * 1e6,
                Median(reference) * 1e6, frames.size());
    std::printf("identical bytes: %zu of %zu frames\n",
                frames.size() - static_cast<std::size_t>(mismatches), frames.size());
    return mismatches == 0 ? 0 : 1;
}
