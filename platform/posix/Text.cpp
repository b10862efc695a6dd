#include "platform/Text.h"

#include <iconv.h>

#include <cerrno>

#include "platform/TextSystem.h"

namespace nb {

namespace {

// The Windows programs whose archives Linux reads run on a Korean Windows.
constexpr const char* kWindowsAnsi = "CP949";

class Converter {
public:
    Converter(const char* to, const char* from) : cd_(::iconv_open(to, from)) {}
    ~Converter() {
        if (Usable()) ::iconv_close(cd_);
    }
    Converter(const Converter&) = delete;
    Converter& operator=(const Converter&) = delete;
    bool Usable() const { return cd_ != reinterpret_cast<iconv_t>(-1); }

    // Strict: false at the first byte sequence the source encoding does not define.
    bool Convert(const std::string& in, std::string& out) {
        out.clear();
        char* src = const_cast<char*>(in.data());
        size_t srcLeft = in.size();
        char buffer[1024];
        while (srcLeft > 0) {
            char* dst = buffer;
            size_t dstLeft = sizeof buffer;
            size_t r = ::iconv(cd_, &src, &srcLeft, &dst, &dstLeft);
            out.append(buffer, static_cast<size_t>(dst - buffer));
            if (r == static_cast<size_t>(-1) && errno != E2BIG) return false;
        }
        return true;
    }

private:
    iconv_t cd_;
};

}  // namespace

// Linux's narrow code page is UTF-8 already.
std::string ToSystemCodePage(const std::string& utf8) { return utf8; }
bool ToSystemCodePageExact(const std::string& utf8, std::string& out) {
    out = utf8;
    return true;
}
std::string FromSystemCodePage(const std::string& text) { return text; }

bool DecodeWindowsAnsi(const std::string& bytes, std::string& utf8) {
    Converter converter("UTF-8", kWindowsAnsi);
    // Without the C library's conversion modules nothing can be read as CP949.
    return converter.Usable() && converter.Convert(bytes, utf8);
}

namespace text {
bool NamesTakeAnyBytes() { return true; }
}  // namespace text

}  // namespace nb
