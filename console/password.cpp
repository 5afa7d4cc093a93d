#include "password.h"

#include <ThostFtdcUserApiDataType.h>

#include <termios.h>
#include <unistd.h>

#include <iostream>

namespace {

bool readLine(std::string &line)
{
    if (!std::getline(std::cin, line)) {
        return false;
    }
    // A file written on Windows ends its lines with CR LF.
    if (!line.empty() && line.back() == '\r') {
        line.pop_back();
    }
    return true;
}

bool readWithoutEcho(std::string &line, std::string &error)
{
    termios saved{};
    if (tcgetattr(STDIN_FILENO, &saved) != 0) {
        error = "无法关闭终端回显，不读取密码";
        return false;
    }
    termios quiet = saved;
    quiet.c_lflag &= ~static_cast<tcflag_t>(ECHO);
    quiet.c_lflag |= ECHONL;
    std::cerr << "交易密码：" << std::flush;
    if (tcsetattr(STDIN_FILENO, TCSAFLUSH, &quiet) != 0) {
        std::cerr << std::endl;
        error = "无法关闭终端回显，不读取密码";
        return false;
    }
    const bool read = readLine(line);
    tcsetattr(STDIN_FILENO, TCSAFLUSH, &saved);
    if (!read) {
        error = "没有输入密码";
    }
    return read;
}

} // namespace

bool readPassword(std::string &password, std::string &error)
{
    std::string line;
    if (isatty(STDIN_FILENO)) {
        if (!readWithoutEcho(line, error)) {
            return false;
        }
    } else if (!readLine(line)) {
        error = "标准输入没有密码（应为一行）";
        return false;
    }
    if (line.empty()) {
        error = "密码为空";
        return false;
    }
    if (line.size() > sizeof(TThostFtdcPasswordType) - 1) {
        error = "密码最长 " + std::to_string(sizeof(TThostFtdcPasswordType) - 1) + " 字节";
        return false;
    }
    password.swap(line);
    return true;
}
