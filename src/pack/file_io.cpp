#include "pack/file_io.h"

#include <fstream>
#include <random>
#include <system_error>

namespace tovalin::pack {

namespace fs = std::filesystem;

namespace {

std::string Quoted(const fs::path& path) {
    return "「" + PathToUtf8(path) + "」";
}

fs::path TemporaryBeside(const fs::path& target) {
    std::random_device random;
    for (int attempt = 0; attempt < 100; ++attempt) {
        fs::path candidate = target;
        candidate += ".tmp-" + std::to_string(random() % 1000000u);
        std::error_code error;
        if (!fs::exists(candidate, error) && !error)
            return candidate;
    }
    throw PackError("一時ファイルの名前を決められません: " + Quoted(target));
}

void WritePieces(const fs::path& path, std::span<const std::span<const std::uint8_t>> pieces) {
    std::ofstream stream(path, std::ios::binary | std::ios::trunc);
    if (!stream)
        throw PackError("ファイルを作成できません: " + Quoted(path));
    for (std::span<const std::uint8_t> piece : pieces) {
        stream.write(reinterpret_cast<const char*>(piece.data()),
                     static_cast<std::streamsize>(piece.size()));
    }
    stream.close();
    if (!stream)
        throw PackError("ファイルに書き込めません: " + Quoted(path));
}

}  // namespace

fs::path PathFromUtf8(std::string_view utf8) {
    std::u8string text(utf8.size(), u8'\0');
    for (std::size_t i = 0; i < utf8.size(); ++i)
        text[i] = static_cast<char8_t>(utf8[i]);
    return fs::path(text);
}

std::string PathToUtf8(const fs::path& path) {
    std::u8string text = path.u8string();
    return std::string(text.begin(), text.end());
}

Bytes ReadWholeFile(const fs::path& path) {
    std::error_code error;
    if (!fs::exists(path, error))
        throw PackError("ファイルが見つかりません: " + Quoted(path));
    if (!fs::is_regular_file(path, error)) {
        throw PackError("通常のファイルではありません: " + Quoted(path));
    }
    std::ifstream stream(path, std::ios::binary);
    if (!stream)
        throw PackError("ファイルを開けません: " + Quoted(path));
    stream.seekg(0, std::ios::end);
    std::streamoff size = stream.tellg();
    stream.seekg(0, std::ios::beg);
    if (size < 0 || !stream)
        throw PackError("ファイルを読み込めません: " + Quoted(path));
    Bytes bytes(static_cast<std::size_t>(size));
    stream.read(reinterpret_cast<char*>(bytes.data()), static_cast<std::streamsize>(size));
    if (stream.gcount() != size)
        throw PackError("ファイルを読み込めません: " + Quoted(path));
    return bytes;
}

void WriteFileReplacing(const fs::path& target,
                        std::span<const std::span<const std::uint8_t>> pieces) {
    fs::path temporary = TemporaryBeside(target);
    try {
        WritePieces(temporary, pieces);
        std::error_code error;
        fs::rename(temporary, target, error);
        if (error)
            throw PackError("ファイルを置けません: " + Quoted(target));
    } catch (...) {
        std::error_code ignored;
        fs::remove(temporary, ignored);
        throw;
    }
}

bool SameExistingFile(const fs::path& a, const fs::path& b) {
    std::error_code error;
    bool same = fs::equivalent(a, b, error);
    return !error && same;
}

}  // namespace tovalin::pack
