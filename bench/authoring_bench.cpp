// What making a character costs the authoring core: 50 frames of 64 x 64 reduced and written as
// GIFs, the icon made from the first, and the icon written into the 64-bit player (when
// build/mingw64 holds one; that part is skipped otherwise).
#include <benchmark/benchmark.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>

#include "pack/gif_encoder.h"
#include "pack/icon.h"
#include "pack/palette.h"
#include "pack/pe_resources.h"

namespace {

namespace pack = tovalin::pack;

constexpr int kFrames = 50;
constexpr int kSide = 64;

// A walking figure of some thirty colours on a transparent ground, shaded so that neighbouring
// frames differ in most pixels.
pack::RgbaImage Frame(int index) {
    pack::RgbaImage frame = pack::MakeRgbaImage(kSide, kSide);
    const int step = index % 10;
    for (int y = 8; y < 60; ++y) {
        for (int x = 12 + step / 2; x < 50 - step / 2; ++x) {
            const int tone = ((x * 3 + y * 5 + index) / 7) % 30;
            frame.At(x, y) = pack::Rgba{static_cast<std::uint8_t>(40 + tone * 6),
                                        static_cast<std::uint8_t>(200 - tone * 4),
                                        static_cast<std::uint8_t>(90 + (y % 4) * 20), 255};
        }
    }
    return frame;
}

const std::vector<pack::RgbaImage>& Frames() {
    static const std::vector<pack::RgbaImage> frames = [] {
        std::vector<pack::RgbaImage> made;
        for (int i = 0; i < kFrames; ++i)
            made.push_back(Frame(i));
        return made;
    }();
    return frames;
}

// The built player, found from this file's place in the source tree.
std::optional<pack::Bytes> Player() {
    const auto path = std::filesystem::path(__FILE__).parent_path().parent_path() / "build" /
                      "mingw64" / "tovalin-player.exe";
    std::ifstream stream(path, std::ios::binary);
    if (!stream)
        return std::nullopt;
    return pack::Bytes((std::istreambuf_iterator<char>(stream)), std::istreambuf_iterator<char>());
}

void FramesToGifs(benchmark::State& state) {
    std::size_t bytes = 0;
    for (auto _ : state) {
        bytes = 0;
        for (const pack::RgbaImage& frame : Frames())
            bytes += pack::EncodeGif(pack::ToIndexed(frame)).size();
        benchmark::DoNotOptimize(bytes);
    }
    state.counters["gif_bytes"] = static_cast<double>(bytes);
    state.counters["frames/s"] = benchmark::Counter(static_cast<double>(kFrames),
                                                    benchmark::Counter::kIsIterationInvariantRate);
}
BENCHMARK(FramesToGifs)->Unit(benchmark::kMillisecond);

void CharacterIcon(benchmark::State& state) {
    for (auto _ : state)
        benchmark::DoNotOptimize(pack::MakeCharacterIcon(Frames().front()));
}
BENCHMARK(CharacterIcon)->Unit(benchmark::kMicrosecond);

void IconIntoPlayer(benchmark::State& state) {
    const std::optional<pack::Bytes> player = Player();
    if (!player) {
        state.SkipWithError("build/mingw64/tovalin-player.exe not built");
        return;
    }
    const pack::Bytes icon = pack::MakeCharacterIcon(Frames().front());
    for (auto _ : state)
        benchmark::DoNotOptimize(pack::ReplaceIconResources(*player, icon));
    state.counters["player_bytes"] = static_cast<double>(player->size());
}
BENCHMARK(IconIntoPlayer)->Unit(benchmark::kMillisecond);

void WholeCharacter(benchmark::State& state) {
    const std::optional<pack::Bytes> player = Player();
    if (!player) {
        state.SkipWithError("build/mingw64/tovalin-player.exe not built");
        return;
    }
    for (auto _ : state) {
        for (const pack::RgbaImage& frame : Frames())
            benchmark::DoNotOptimize(pack::EncodeGif(pack::ToIndexed(frame)));
        benchmark::DoNotOptimize(
            pack::ReplaceIconResources(*player, pack::MakeCharacterIcon(Frames().front())));
    }
}
BENCHMARK(WholeCharacter)->Unit(benchmark::kMillisecond);

}  // namespace
