// What making a character costs, the way the studio and the Windows packer make one: 50 PNG
// frames of 64 x 64 read and decoded with WIC, converted to GIFs, the icon made from the first
// and written into the player's resources, the package assembled, checked and written through
// a temporary file. The floor is copying the player alone the same way: what any tool that
// makes an executable from it pays.
//
//   tovalin-make-character-win32.exe [RUNS]
//
// Prints the medians of RUNS runs (default 9) as one line:
//   MAKE frames=50 side=64 make_ms=... decode_ms=... core_ms=... write_ms=... copy_ms=...
//        goal_ms=1000 bytes=...
#include <windows.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "platform/module_path.h"
#include "pack/character.h"
#include "pack/file_io.h"
#include "pack/picture_file.h"
#include "support/png_file.h"
#include "support/support_win32.h"

namespace {

namespace fs = std::filesystem;
namespace pack = tovalin::pack;

constexpr int kFrames = 50;
constexpr int kSide = 64;
constexpr double kGoalMs = 1000;

double NowMs() {
    return tovalin::support::NowSeconds() * 1000.0;
}

// A walking figure of some thirty colours on a transparent ground with a soft edge, shaded so
// that neighbouring frames differ in most pixels (the native authoring benchmark's frames).
pack::RgbaImage Frame(int index) {
    pack::RgbaImage frame = pack::MakeRgbaImage(kSide, kSide);
    const int step = index % 10;
    for (int y = 8; y < 60; ++y) {
        for (int x = 12 + step / 2; x < 50 - step / 2; ++x) {
            const int tone = ((x * 3 + y * 5 + index) / 7) % 30;
            const bool edge = y == 8 || y == 59;
            frame.At(x, y) = pack::Rgba{static_cast<std::uint8_t>(40 + tone * 6),
                                        static_cast<std::uint8_t>(200 - tone * 4),
                                        static_cast<std::uint8_t>(90 + (y % 4) * 20),
                                        static_cast<std::uint8_t>(edge ? 100 : 255)};
        }
    }
    return frame;
}

fs::path ModuleFolder() {
    return fs::path(tovalin::platform::ModulePath()).parent_path();
}

void Write(const fs::path& path, std::span<const std::uint8_t> bytes) {
    const std::array<std::span<const std::uint8_t>, 1> pieces{bytes};
    pack::WriteFileReplacing(path, pieces);
}

double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

struct Run {
    double decode = 0, core = 0, write = 0, copy = 0;
    std::size_t bytes = 0;
};

Run MakeOnce(const std::vector<fs::path>& frames, const fs::path& player, const fs::path& out) {
    Run run;
    const double start = NowMs();
    pack::CharacterInputs inputs;
    for (const fs::path& frame : frames)
        inputs.frames.push_back(pack::ReadFrameFile(frame));
    inputs.output = pack::PathToUtf8(out);
    inputs.playerName = pack::PathToUtf8(player);
    inputs.player = pack::ReadWholeFile(player);
    const double decoded = NowMs();
    const pack::Character character = pack::MakeCharacter(inputs);
    const double made = NowMs();
    Write(out, character.file);
    const double written = NowMs();
    run.decode = decoded - start;
    run.core = made - decoded;
    run.write = written - made;
    run.bytes = character.file.size();

    const double copyStart = NowMs();
    Write(out.parent_path() / L"copy.exe", pack::ReadWholeFile(player));
    run.copy = NowMs() - copyStart;
    return run;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    // As the studio and the packer do: the decoder is set up once for all frames.
    const pack::DecoderSession decoder;
    const int runs = argc >= 2 ? std::max(1, _wtoi(argv[1])) : 9;
    const fs::path player = ModuleFolder() / L"tovalin-player.exe";
    if (!fs::exists(player)) {
        std::fprintf(stderr, "no player beside the benchmark: %s\n", player.string().c_str());
        return 2;
    }
    wchar_t temp[MAX_PATH + 1];
    ::GetTempPathW(MAX_PATH + 1, temp);
    const fs::path folder =
        fs::path(temp) / (L"tovalin-make-bench-" + std::to_wstring(::GetCurrentProcessId()));
    fs::create_directories(folder);
    std::vector<fs::path> frames;
    for (int i = 0; i < kFrames; ++i) {
        frames.push_back(folder / (L"walk_" + std::to_wstring(100 + i) + L".png"));
        Write(frames.back(), tovalin::support::EncodePng(Frame(i)));
    }
    std::vector<double> make, decode, core, write, copy;
    std::size_t bytes = 0;
    try {
        for (int i = 0; i < runs; ++i) {
            const Run run = MakeOnce(frames, player, folder / L"walk.exe");
            decode.push_back(run.decode);
            core.push_back(run.core);
            write.push_back(run.write);
            make.push_back(run.decode + run.core + run.write);
            copy.push_back(run.copy);
            bytes = run.bytes;
        }
    } catch (const pack::PackError& error) {
        std::fprintf(stderr, "%s\n", error.what());
        fs::remove_all(folder);
        return 1;
    }
    fs::remove_all(folder);
    std::printf(
        "MAKE frames=%d side=%d make_ms=%.1f decode_ms=%.1f core_ms=%.1f write_ms=%.1f "
        "copy_ms=%.1f goal_ms=%.0f bytes=%zu\n",
        kFrames, kSide, Median(make), Median(decode), Median(core), Median(write), Median(copy),
        kGoalMs, bytes);
    return 0;
}
