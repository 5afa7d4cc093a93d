#pragma once

#include <functional>
#include <ostream>
#include <string>

// Runs the numbered steps in order, one line each: "[3] 登录 - 12 ms - 失败：…". After the first
// failure nothing more runs, and that step's number is the exit code.
class StepRunner
{
public:
    struct Result
    {
        bool ok = false;
        std::string text;
    };

    explicit StepRunner(std::ostream &out) : out_(out) {}

    // False when this or an earlier step failed: the check stops there.
    bool run(int number, const char *name, const std::function<Result()> &step);
    void skip(int number, const char *name, const std::string &why);
    bool failed() const { return failedStep_ != 0; }
    int exitCode() const { return failedStep_; }

private:
    std::ostream &out_;
    int failedStep_ = 0;
};
