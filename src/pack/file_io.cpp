#include "pack/file_io.h"

#include <cerrno>
#include <fstream>
#include <limits>
#include <random>
#include <system_error>

namespace tovalin::pack {

namespace fs = std::filesystem;

namespace {

std::string Quoted(const fs::path& path) {
    return "「" + PathToUtf8(path) + "」";
}

// Why the system refused, in words a user can act on. The errno values named here mean the
// same on every system the packer runs on.
std::string ReasonOf(int error) {
    switch (error) {
        case 0:
            return "原因は分かりません";
        case EACCES:
        case EPERM:
            return "書き込みが許可されていません";
        case EROFS:
            return "読み取り専用の場所です";
        case ENOENT:
            return "フォルダーがありません";
        case ENOTDIR:
            return "途中の名前がフォルダーではありません";
        case EISDIR:
            return "同じ名前のフォルダーがあります";
        case ENOSPC:
            return "ディスクの空き容量が足りません";
        case ENAMETOOLONG:
            return "名前が長すぎます";
        case EBUSY:
        case ETXTBSY:
            return "ほかのプログラムが使用中です";
        default:
            return "システムのエラー " + std::to_string(error);
    }
}

// A system error code as the errno it stands for, where the library can tell.
std::string ReasonOf(const std::error_code& error) {
    const std::error_condition condition = error.default_error_condition();
    if (condition.category() == std::generic_category())
        return ReasonOf(condition.value());
    return "システムのエラー " + std::to_string(error.value());
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

// Failures name the target, the file the user asked for, not the temporary one beside it.
void WritePieces(const fs::path& path, std::span<const std::span<const std::uint8_t>> pieces,
                 const fs::path& target) {
    errno = 0;
    std::ofstream stream(path, std::ios::binary | std::ios::trunc);
    if (!stream) {
        throw PackError("ファイルを作成できません（" + ReasonOf(errno) + "）: " + Quoted(target));
    }
    for (std::span<const std::uint8_t> piece : pieces) {
        stream.write(reinterpret_cast<const char*>(piece.data()),
                     static_cast<std::streamsize>(piece.size()));
    }
    stream.close();
    if (!stream) {
        throw PackError("ファイルに書き込めません（" + ReasonOf(errno) + "）: " + Quoted(target));
    }
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
    return ReadFileAtMost(path, std::numeric_limits<std::uint64_t>::max());
}

Bytes ReadFileAtMost(const fs::path& path, std::uint64_t maxBytes) {
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
    if (static_cast<std::uint64_t>(size) > maxBytes) {
        throw PackError("ファイルが大きすぎます（" + std::to_string(maxBytes) +
                        " バイトまで）: " + Quoted(path));
    }
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
        WritePieces(temporary, pieces, target);
        std::error_code error;
        fs::rename(temporary, target, error);
        if (error) {
            throw PackError("ファイルを置けません（" + ReasonOf(error) + "）: " + Quoted(target));
        }
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

void RequireDistinctOutput(const fs::path& output, std::span<const fs::path> inputs) {
    for (const fs::path& input : inputs) {
        if (SameExistingFile(output, input))
            throw PackError("出力ファイルが入力ファイルと同じです: " + Quoted(output));
    }
}

}  // namespace tovalin::pack
