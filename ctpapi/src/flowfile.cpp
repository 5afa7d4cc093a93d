#include "flowfile.h"

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/mman.h>
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
    if (record_) {
        ::munmap(record_, sizeof(Record));
    }
}

void FlowFile::openOrExit(const std::string &flowPath, const char *fileName)
{
    if (record_) {
        return;
    }
    const std::string path = flowPath + fileName;
    int error = 0;
    const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
    if (fd < 0) {
        error = errno;
    } else {
        // Room for the record now: a store into a mapped hole of a full disk would kill the
        // process later with SIGBUS.
        error = ::posix_fallocate(fd, 0, sizeof(Record));
        if (error == 0) {
            void *mapped =
                ::mmap(nullptr, sizeof(Record), PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
            if (mapped == MAP_FAILED) {
                error = errno;
            } else {
                record_ = mapped;
            }
        }
        ::close(fd);
    }
    if (!record_) {
        std::fprintf(stderr, "ctpapi: flow folder unusable (%s: %s)\n", path.c_str(),
                     std::strerror(error));
        std::fflush(stderr);
        std::_Exit(1);
    }
}

FlowFile::Position FlowFile::read() const
{
    Position position;
    Record record{};
    if (!record_) {
        return position;
    }
    std::memcpy(&record, record_, sizeof(record));
    if (std::memcmp(record.magic, kMagic, sizeof(kMagic)) != 0 ||
        std::memchr(record.tradingDay, '\0', sizeof(record.tradingDay)) == nullptr ||
        record.privateSequence < 0 || record.publicSequence < 0) {
        return position;
    }
    position.tradingDay = record.tradingDay;
    position.privateSequence = record.privateSequence;
    position.publicSequence = record.publicSequence;
    return position;
}

void FlowFile::write(const Position &position)
{
    if (!record_) {
        return;
    }
    auto *record = static_cast<Record *>(record_);
    char day[sizeof(record->tradingDay)] = {};
    std::strncpy(day, position.tradingDay.c_str(), sizeof(day) - 1);
    if (std::memcmp(record->magic, kMagic, sizeof(kMagic)) != 0 ||
        std::memcmp(record->tradingDay, day, sizeof(day)) != 0) {
        // The numbers go back first: a process killed between these stores leaves the old day
        // with no position, which resumes from the start of the day, never past a notice.
        record->privateSequence = 0;
        record->publicSequence = 0;
        std::atomic_signal_fence(std::memory_order_seq_cst);
        std::memcpy(record->tradingDay, day, sizeof(day));
        std::memcpy(record->magic, kMagic, sizeof(kMagic));
        std::atomic_signal_fence(std::memory_order_seq_cst);
    }
    record->privateSequence = position.privateSequence;
    record->publicSequence = position.publicSequence;
}

} // namespace velmora::ctpapi
