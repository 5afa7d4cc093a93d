#include "flowfile.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

namespace velmora::ctpapi {

namespace {

// The file's layout; the magic also tells a file of an older layout from this one.
struct Record
{
    char magic[8];
    char tradingDay[12];
    std::int32_t privateSequence;
    std::int32_t publicSequence;
};

constexpr char kMagic[8] = {'V', 'M', 'F', 'L', 'O', 'W', '1', '\0'};

} // namespace

FlowFile::~FlowFile()
{
    if (fd_ >= 0) {
        ::close(fd_);
    }
}

void FlowFile::openOrExit(const std::string &flowPath, const char *fileName)
{
    if (fd_ >= 0) {
        return;
    }
    const std::string path = flowPath + fileName;
    fd_ = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
    if (fd_ < 0) {
        std::fprintf(stderr, "ctpapi: flow folder unusable (%s: %s)\n", path.c_str(),
                     std::strerror(errno));
        std::fflush(stderr);
        std::_Exit(1);
    }
}

FlowFile::Position FlowFile::read() const
{
    Position position;
    Record record{};
    if (fd_ < 0 || ::pread(fd_, &record, sizeof(record), 0) != sizeof(record) ||
        std::memcmp(record.magic, kMagic, sizeof(kMagic)) != 0 ||
        std::memchr(record.tradingDay, '\0', sizeof(record.tradingDay)) == nullptr ||
        record.privateSequence < 0 || record.publicSequence < 0) {
        return position;
    }
    position.tradingDay = record.tradingDay;
    position.privateSequence = record.privateSequence;
    position.publicSequence = record.publicSequence;
    return position;
}

bool FlowFile::write(const Position &position)
{
    if (fd_ < 0) {
        return false;
    }
    Record record{};
    std::memcpy(record.magic, kMagic, sizeof(kMagic));
    std::strncpy(record.tradingDay, position.tradingDay.c_str(), sizeof(record.tradingDay) - 1);
    record.privateSequence = position.privateSequence;
    record.publicSequence = position.publicSequence;
    return ::pwrite(fd_, &record, sizeof(record), 0) == sizeof(record);
}

} // namespace velmora::ctpapi
