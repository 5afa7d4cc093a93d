#include "gb2312.h"

#include <cerrno>
#include <cstring>
#include <iconv.h>

namespace simfront {

namespace {

// Converts with iconv, replacing what cannot be converted by `replacement` and skipping one
// input character (whose length `skip` tells) so the rest of the text still comes through.
std::string convert(const char *to, const char *from, const std::string &in,
                    const std::string &replacement, std::size_t (*skip)(const char *, std::size_t))
{
    iconv_t cd = iconv_open(to, from);
    if (cd == reinterpret_cast<iconv_t>(-1)) {
        return in;
    }
    std::string out;
    out.reserve(in.size() * 2);
    char *src = const_cast<char *>(in.data());
    std::size_t srcLeft = in.size();
    char buffer[256];
    while (srcLeft > 0) {
        char *dst = buffer;
        std::size_t dstLeft = sizeof buffer;
        const std::size_t rc = iconv(cd, &src, &srcLeft, &dst, &dstLeft);
        out.append(buffer, sizeof buffer - dstLeft);
        if (rc == static_cast<std::size_t>(-1)) {
            if (errno == E2BIG) {
                continue;
            }
            // EILSEQ or EINVAL (a character cut at the end): replace and step over it.
            out += replacement;
            const std::size_t n = skip(src, srcLeft);
            src += n;
            srcLeft -= n;
            iconv(cd, nullptr, nullptr, nullptr, nullptr);
        }
    }
    iconv_close(cd);
    return out;
}

std::size_t utf8CharLength(const char *p, std::size_t left)
{
    const auto c = static_cast<unsigned char>(*p);
    std::size_t n = 1;
    if (c >= 0xF0) {
        n = 4;
    } else if (c >= 0xE0) {
        n = 3;
    } else if (c >= 0xC0) {
        n = 2;
    }
    return n < left ? n : left;
}

std::size_t gbCharLength(const char *p, std::size_t left)
{
    const auto c = static_cast<unsigned char>(*p);
    return (c >= 0x81 && left >= 2) ? 2 : 1;
}

} // namespace

std::string Gb2312::fromUtf8(const std::string &utf8)
{
    return convert("GB2312", "UTF-8", utf8, "?", utf8CharLength);
}

std::string Gb2312::toUtf8(const std::string &gb)
{
    return convert("UTF-8", "GB2312", gb, "\xEF\xBF\xBD", gbCharLength);
}

std::size_t Gb2312::pieceLength(const std::string &gb, std::size_t pos, std::size_t maxBytes)
{
    std::size_t len = 0;
    while (pos + len < gb.size()) {
        const std::size_t n = gbCharLength(gb.data() + pos + len, gb.size() - pos - len);
        if (len + n > maxBytes) {
            break;
        }
        len += n;
    }
    return len;
}

void Gb2312::copyToField(char *field, std::size_t capacity, const std::string &gb)
{
    if (capacity == 0) {
        return;
    }
    std::memset(field, 0, capacity);
    const std::size_t n = pieceLength(gb, 0, capacity - 1);
    std::memcpy(field, gb.data(), n);
}

} // namespace simfront
