#include "steprunner.h"

#include <chrono>

bool StepRunner::run(int number, const char *name, const std::function<Result()> &step)
{
    if (failed()) {
        return false;
    }
    const auto start = std::chrono::steady_clock::now();
    const Result result = step();
    const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(
                        std::chrono::steady_clock::now() - start)
                        .count();
    // Flushed at once: whoever watches a slow front sees how far the check has come.
    out_ << "[" << number << "] " << name << " - " << ms << " ms - "
         << (result.ok ? "通过" : "失败") << (result.text.empty() ? "" : "：") << result.text
         << std::endl;
    if (!result.ok) {
        failedStep_ = number;
    }
    return result.ok;
}

void StepRunner::skip(int number, const char *name, const std::string &why)
{
    if (!failed()) {
        out_ << "[" << number << "] " << name << " - 0 ms - 跳过：" << why << std::endl;
    }
}
