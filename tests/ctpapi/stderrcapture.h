#pragma once

#include <string>

// Sends this process's stderr into a file for as long as the object lives, so that a test can
// read what the API reported there.
class StderrCapture
{
public:
    StderrCapture();
    ~StderrCapture();
    StderrCapture(const StderrCapture &) = delete;
    StderrCapture &operator=(const StderrCapture &) = delete;

    std::string text() const;
    int count(const std::string &needle) const;
    bool waitFor(const std::string &needle, int timeoutMs = 20000) const;

private:
    std::string path_;
    int saved_ = -1;
};
