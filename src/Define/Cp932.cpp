// Code page 932 (Microsoft's Shift_JIS, with the NEC and IBM extensions)
// to and from UTF-8, through glibc iconv. Pure ASCII passes through
// unchanged, since code page 932 and UTF-8 agree on every byte below 0x80.
#include <cerrno>
#include <iconv.h>

#include "Define/Cp932.h"

namespace solne {

namespace {

// One conversion descriptor per direction, opened on first use and kept.
class Converter {
public:
    Converter(const char* to, const char* from) : cd_(iconv_open(to, from)) {}
    ~Converter() {
        if (ok()) iconv_close(cd_);
    }
    Converter(const Converter&) = delete;
    Converter& operator=(const Converter&) = delete;

    bool ok() const { return cd_ != reinterpret_cast<iconv_t>(-1); }

    // Converts all of `in`, appending to `out`. On failure returns false
    // with the offset of the first byte of `in` that could not be converted.
    bool Run(std::string_view in, std::string& out, size_t& badOffset) {
        badOffset = 0;
        if (!ok()) return false;
        iconv(cd_, nullptr, nullptr, nullptr, nullptr);
        char* src = const_cast<char*>(in.data());
        size_t srcLeft = in.size();
        size_t start = out.size();
        out.resize(start + in.size() * 3 / 2 + 16);
        char* dst = out.data() + start;
        size_t dstLeft = out.size() - start;
        while (srcLeft > 0) {
            size_t r = iconv(cd_, &src, &srcLeft, &dst, &dstLeft);
            if (r != size_t(-1)) break;
            if (errno == E2BIG) {
                size_t used = size_t(dst - out.data());
                out.resize(out.size() * 2);
                dst = out.data() + used;
                dstLeft = out.size() - used;
                continue;
            }
            // EILSEQ (no form / invalid bytes) or EINVAL (incomplete at the end).
            badOffset = size_t(src - in.data());
            out.resize(start);
            return false;
        }
        out.resize(size_t(dst - out.data()));
        return true;
    }

private:
    iconv_t cd_;
};

Converter& FromCp932() {
    thread_local Converter c("UTF-8", "CP932");
    return c;
}

Converter& ToCp932() {
    thread_local Converter c("CP932", "UTF-8");
    return c;
}

size_t AsciiPrefix(std::string_view s) {
    size_t i = 0;
    while (i < s.size() && static_cast<unsigned char>(s[i]) < 0x80) ++i;
    return i;
}

// Copies the ASCII prefix as it is and hands the rest to iconv.
bool Convert(Converter& c, std::string_view in, std::string& out, size_t* badOffset) {
    out.clear();
    size_t prefix = AsciiPrefix(in);
    out.assign(in.data(), prefix);
    if (prefix == in.size()) return true;
    size_t bad = 0;
    if (c.Run(in.substr(prefix), out, bad)) return true;
    if (badOffset) *badOffset = prefix + bad;
    out.clear();
    return false;
}

}  // namespace

bool Cp932ToUtf8(std::string_view cp932, std::string& utf8, size_t* badOffset) {
    return Convert(FromCp932(), cp932, utf8, badOffset);
}

bool Utf8ToCp932(std::string_view utf8, std::string& cp932, size_t* badOffset) {
    // iconv's UTF-8 decoder lets some ill-formed input through; check first.
    size_t bad = Utf8ErrorOffset(utf8);
    if (bad != std::string_view::npos) {
        if (badOffset) *badOffset = bad;
        cp932.clear();
        return false;
    }
    return Convert(ToCp932(), utf8, cp932, badOffset);
}

}  // namespace solne
