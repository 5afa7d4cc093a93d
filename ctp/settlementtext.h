#pragma once

#include <QString>

#include <mutex>
#include <string>

// The settlement statement arrives in pieces cut by bytes, so a two-byte GB2312 character may
// straddle two pieces. Each piece is decoded up to its last whole character; the bytes of a
// character cut in two wait for the next piece.
class SettlementText
{
public:
    // The text of the piece's whole characters; the last piece flushes everything held.
    QString append(const std::string &bytes, bool last);
    // A new statement begins: bytes left from an unfinished one are dropped.
    void clear();

private:
    std::mutex mutex;
    std::string pending;
};
