// Code page 932 through iconv.
#include "pack/cp932.h"

#include <iconv.h>

#include <cerrno>

namespace tovalin::pack {

namespace {

class Converter {
  public:
    Converter(const char* to, const char* from) : handle_(iconv_open(to, from)) {}
    ~Converter() {
        if (valid())
            iconv_close(handle_);
    }
    Converter(const Converter&) = delete;
    Converter& operator=(const Converter&) = delete;

    bool valid() const { return handle_ != reinterpret_cast<iconv_t>(-1); }

    // Converts all of input; on a sequence that does not convert, either gives up or, when
    // replacement is set, appends it and skips one input byte.
    std::optional<std::string> Convert(std::string_view input,
                                       std::optional<std::string_view> replacement) {
        if (!valid())
            return std::nullopt;
        std::string output;
        char buffer[256];
        // iconv's interface is not const-correct; it never writes through the input pointer.
        char* in = const_cast<char*>(input.data());
        std::size_t inLeft = input.size();
        while (true) {
            char* out = buffer;
            std::size_t outLeft = sizeof buffer;
            std::size_t result = inLeft == 0 ? iconv(handle_, nullptr, nullptr, &out, &outLeft)
                                             : iconv(handle_, &in, &inLeft, &out, &outLeft);
            output.append(buffer, static_cast<std::size_t>(out - buffer));
            if (result != static_cast<std::size_t>(-1)) {
                // A positive count means iconv substituted something: not an exact conversion.
                if (result != 0 && !replacement)
                    return std::nullopt;
                if (inLeft == 0)
                    return output;
                continue;
            }
            if (errno == E2BIG)
                continue;
            if (!replacement)
                return std::nullopt;
            // EILSEQ or EINVAL (a sequence cut off at the end): replace one byte and go on.
            output += *replacement;
            ++in;
            --inLeft;
            iconv(handle_, nullptr, nullptr, nullptr, nullptr);
            if (inLeft == 0)
                return output;
        }
    }

  private:
    iconv_t handle_;
};

}  // namespace

std::optional<std::string> Cp932ToUtf8Exact(std::string_view cp932) {
    return Converter("UTF-8", "CP932").Convert(cp932, std::nullopt);
}

// iconv quietly maps some characters to look-alikes (U+301C to the full-width tilde, the yen
// sign to the backslash); only a conversion that decodes back to the same text is exact.
std::optional<std::string> Utf8ToCp932(std::string_view utf8) {
    std::optional<std::string> bytes = Converter("CP932", "UTF-8").Convert(utf8, std::nullopt);
    if (!bytes || Cp932ToUtf8Exact(*bytes) != utf8)
        return std::nullopt;
    return bytes;
}

std::string Cp932ToUtf8(std::string_view cp932) {
    return Converter("UTF-8", "CP932").Convert(cp932, "\xEF\xBF\xBD").value_or("");
}

}  // namespace tovalin::pack
