#include "checkoptions.h"

#include <ThostFtdcUserApiDataType.h>

#include <cstddef>

namespace {

const char kUsage[] =
    R"(用法：velmora-ctpcheck --front tcp://HOST:PORT --broker 经纪商代码 --investor 投资者代码
                        [--app-id AppID --auth-code 授权码]
                        [--md tcp://HOST:PORT --instrument 合约代码]

逐步检查一个 CTP 交易前置（可选行情前置）：连接、终端认证、登录、查询结算单、资金、持仓、
合约，行情登录、订阅并接收五秒行情。不报单，不确认结算单。

密码从标准输入读一行（标准输入不是终端时），否则在终端提示输入且不回显；不接受命令行上的密码。

  --front ADDR        交易前置地址，tcp://HOST:PORT
  --broker ID         经纪商代码
  --investor ID       投资者代码（也用作用户代码）
  --app-id ID         终端 AppID；与 --auth-code 同时给出时先做终端认证
  --auth-code CODE    终端授权码
  --md ADDR           行情前置地址；需要 --instrument
  --instrument ID     只查询这个合约（不给出时查询全部合约并报告数目），也是订阅的合约
  --help              显示本说明

退出码：0 全部通过；1 到 11 第一个失败的步骤号；64 命令行有误；66 读不到密码。
)";

bool isFrontAddress(const std::string &value)
{
    for (const char *scheme : {"tcp://", "ssl://"}) {
        const std::string prefix = scheme;
        if (value.size() > prefix.size() && value.compare(0, prefix.size(), prefix) == 0) {
            return value.find(':', prefix.size()) != std::string::npos;
        }
    }
    return false;
}

struct TextOption
{
    const char *name;
    std::string CheckOptions::*member;
    std::size_t maxBytes; // the CTP field's capacity less its NUL; 0 for front addresses
};

const TextOption kTextOptions[] = {
    {"--front", &CheckOptions::front, 0},
    {"--md", &CheckOptions::mdFront, 0},
    {"--broker", &CheckOptions::broker, sizeof(TThostFtdcBrokerIDType) - 1},
    // The investor goes into InvestorID as well as UserID; the narrower field bounds it.
    {"--investor", &CheckOptions::investor, sizeof(TThostFtdcInvestorIDType) - 1},
    {"--app-id", &CheckOptions::appId, sizeof(TThostFtdcAppIDType) - 1},
    {"--auth-code", &CheckOptions::authCode, sizeof(TThostFtdcAuthCodeType) - 1},
    {"--instrument", &CheckOptions::instrument, sizeof(TThostFtdcInstrumentIDType) - 1},
};

bool take(const TextOption &option, const std::string &value, CheckOptions &out, std::string &error)
{
    if (value.empty()) {
        error = std::string(option.name) + " 的值为空";
        return false;
    }
    if (option.maxBytes == 0 && !isFrontAddress(value)) {
        error =
            std::string(option.name) + " 需要 tcp://HOST:PORT 形式的地址，而不是 '" + value + "'";
        return false;
    }
    if (option.maxBytes != 0 && value.size() > option.maxBytes) {
        error = std::string(option.name) + " 的值最长 " + std::to_string(option.maxBytes) +
                " 字节，'" + value + "' 太长";
        return false;
    }
    out.*option.member = value;
    return true;
}

} // namespace

const char *CheckOptions::usage()
{
    return kUsage;
}

bool CheckOptions::parse(int argc, const char *const *argv, CheckOptions &out, std::string &error)
{
    CheckOptions o;
    for (int i = 1; i < argc; ++i) {
        std::string name = argv[i];
        std::string value;
        bool hasInlineValue = false;
        const std::size_t eq = name.find('=');
        if (name.rfind("--", 0) == 0 && eq != std::string::npos) {
            value = name.substr(eq + 1);
            name.resize(eq);
            hasInlineValue = true;
        }
        if (name == "--password" || name == "-p") {
            error =
                "不接受命令行上的密码（命令行会留在 shell 历史和进程列表里）：请从标准输入给出，"
                "或在提示时输入";
            return false;
        }
        if (name == "--help" || name == "-h") {
            o.help = true;
            continue;
        }
        const TextOption *option = nullptr;
        for (const TextOption &candidate : kTextOptions) {
            if (name == candidate.name) {
                option = &candidate;
            }
        }
        if (!option) {
            error = "不认识的参数 '" + name + "'";
            return false;
        }
        if (!hasInlineValue) {
            if (i + 1 >= argc) {
                error = name + " 缺少值";
                return false;
            }
            value = argv[++i];
        }
        if (!take(*option, value, o, error)) {
            return false;
        }
    }
    if (o.help) {
        out = o;
        return true;
    }
    if (o.front.empty() || o.broker.empty() || o.investor.empty()) {
        error = "--front、--broker 和 --investor 都必须给出";
        return false;
    }
    if (o.appId.empty() != o.authCode.empty()) {
        error = "--app-id 和 --auth-code 须同时给出";
        return false;
    }
    if (!o.mdFront.empty() && o.instrument.empty()) {
        error = "--md 需要 --instrument：订阅哪个合约的行情";
        return false;
    }
    out = o;
    return true;
}
