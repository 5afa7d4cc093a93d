#pragma once

#include <cstddef>
#include <string>

namespace simfront {

// The CTP interface carries texts meant for people as GB2312; the front keeps its own texts as
// UTF-8 and converts at the edge, through glibc's iconv.
class Gb2312
{
public:
    // Characters without a GB2312 form become '?', so a text never fails to go out.
    static std::string fromUtf8(const std::string &utf8);
    // Undecodable bytes become U+FFFD.
    static std::string toUtf8(const std::string &gb);

    // The longest prefix of gb[pos..] of at most maxBytes bytes that does not end inside a
    // two-byte character, so every piece of a text cut this way decodes on its own.
    static std::size_t pieceLength(const std::string &gb, std::size_t pos, std::size_t maxBytes);

    // Copies text into a fixed-size field, cut to the capacity less one so it stays
    // NUL-terminated, and never in the middle of a two-byte character.
    static void copyToField(char *field, std::size_t capacity, const std::string &gb);
};

} // namespace simfront
