#pragma once

#include <ThostFtdcUserApiStruct.h>

#include <cstddef>
#include <cstring>
#include <string>

// The fronts write their texts in GB2312/GBK; a console wants UTF-8. Bytes that do not decode
// become U+FFFD rather than being passed on, so the output stays valid UTF-8.
std::string utf8FromGbk(const char *bytes, std::size_t length);

// A text field up to its first NUL, never past the field when a record arrives unterminated.
template <std::size_t N> std::string utf8Field(const char (&field)[N])
{
    const void *end = std::memchr(field, '\0', N);
    return utf8FromGbk(field,
                       end ? static_cast<std::size_t>(static_cast<const char *>(end) - field) : N);
}

// "错误码 3，CTP:不合法的登录": what a trader reads of a refused request.
std::string rspErrorText(const CThostFtdcRspInfoField &info);

// Whether an answer carries an error; an absent record means none, as with the vendor's API.
inline bool isRspError(const CThostFtdcRspInfoField *info)
{
    return info && info->ErrorID != 0;
}

// Copies text into a fixed-width field, always NUL-terminated; the callers check lengths first.
template <std::size_t N> void setField(char (&field)[N], const std::string &text)
{
    const std::size_t length = text.size() < N ? text.size() : N - 1;
    std::memcpy(field, text.data(), length);
    field[length] = '\0';
}
