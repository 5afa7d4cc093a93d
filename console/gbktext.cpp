#include "gbktext.h"

#include <iconv.h>

#include <cerrno>

namespace {

const char kReplacement[] = "\xEF\xBF\xBD";

// Without a converter the ASCII part is still worth showing.
std::string asciiOnly(const char *bytes, std::size_t length)
{
    std::string out;
    for (std::size_t i = 0; i < length; ++i) {
        const unsigned char c = static_cast<unsigned char>(bytes[i]);
        out += c < 0x80 ? static_cast<char>(c) : '?';
    }
    return out;
}

} // namespace

std::string utf8FromGbk(const char *bytes, std::size_t length)
{
    // GB18030 decodes everything GB2312 and GBK do.
    iconv_t cd = iconv_open("UTF-8", "GB18030");
    if (cd == reinterpret_cast<iconv_t>(-1)) {
        return asciiOnly(bytes, length);
    }
    std::string out;
    char buffer[256];
    char *in = const_cast<char *>(bytes);
    std::size_t inLeft = length;
    while (inLeft > 0) {
        char *dst = buffer;
        std::size_t dstLeft = sizeof buffer;
        const std::size_t rc = iconv(cd, &in, &inLeft, &dst, &dstLeft);
        out.append(buffer, static_cast<std::size_t>(dst - buffer));
        if (rc != static_cast<std::size_t>(-1) || errno == E2BIG) {
            continue;
        }
        // A byte that starts no character, or a character cut off at the end of the field.
        out += kReplacement;
        ++in;
        --inLeft;
    }
    iconv_close(cd);
    return out;
}

std::string rspErrorText(const CThostFtdcRspInfoField &info)
{
    return "错误码 " + std::to_string(info.ErrorID) + "，" + utf8Field(info.ErrorMsg);
}
