#include "stderrcapture.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <thread>
#include <unistd.h>

StderrCapture::StderrCapture()
{
    char name[] = "/tmp/velmora-stderr-XXXXXX";
    const int fd = ::mkstemp(name);
    if (fd < 0) {
        return;
    }
    path_ = name;
    std::fflush(stderr);
    saved_ = ::dup(STDERR_FILENO);
    ::dup2(fd, STDERR_FILENO);
    ::close(fd);
}

StderrCapture::~StderrCapture()
{
    if (saved_ < 0) {
        return;
    }
    std::fflush(stderr);
    ::dup2(saved_, STDERR_FILENO);
    ::close(saved_);
    // Shown again, so that the test log keeps what the API said.
    std::fputs(text().c_str(), stderr);
    ::unlink(path_.c_str());
}

std::string StderrCapture::text() const
{
    std::ifstream in(path_);
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
}

int StderrCapture::count(const std::string &needle) const
{
    const std::string all = text();
    int n = 0;
    for (std::size_t at = all.find(needle); at != std::string::npos;
         at = all.find(needle, at + needle.size())) {
        ++n;
    }
    return n;
}

bool StderrCapture::waitFor(const std::string &needle, int timeoutMs) const
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (count(needle) == 0) {
        if (std::chrono::steady_clock::now() > deadline) {
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return true;
}
