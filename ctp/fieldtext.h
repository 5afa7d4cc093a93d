#pragma once

#include <QByteArray>
#include <QString>

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <string>

// Text in and out of the fixed-width char fields of the CTP records.

// Latin-1, cut to the field's capacity less one so that the field stays NUL-terminated.
template <std::size_t N> void setFieldText(char (&field)[N], const QString &text)
{
    const QByteArray bytes = text.toLatin1();
    const std::size_t length = std::min(static_cast<std::size_t>(bytes.size()), N - 1);
    std::memcpy(field, bytes.constData(), length);
    field[length] = '\0';
}

// The bytes up to the first NUL, never past the field even when a record arrives unterminated.
template <std::size_t N> std::string fieldBytes(const char (&field)[N])
{
    const void *end = std::memchr(field, '\0', N);
    const std::size_t length =
        end ? static_cast<std::size_t>(static_cast<const char *>(end) - field) : N;
    return std::string(field, length);
}
