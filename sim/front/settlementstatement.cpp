#include "settlementstatement.h"

#include <cstdio>
#include <sstream>

namespace simfront {

namespace {

std::string amount(double v)
{
    char buf[64];
    std::snprintf(buf, sizeof buf, "%.2f", v);
    return buf;
}

// Pads to a display width where a Chinese character takes two columns, as on a printed form.
std::string cell(const std::string &text, std::size_t width, bool right = false)
{
    std::size_t columns = 0;
    for (std::size_t i = 0; i < text.size();) {
        const auto c = static_cast<unsigned char>(text[i]);
        const std::size_t n = c >= 0xF0 ? 4 : c >= 0xE0 ? 3 : c >= 0xC0 ? 2 : 1;
        columns += n > 1 ? 2 : 1;
        i += n;
    }
    const std::string pad(columns < width ? width - columns : 0, ' ');
    return right ? pad + text : text + pad;
}

const char *directionText(char d)
{
    return d == '0' ? "买" : "卖";
}

const char *offsetText(char o)
{
    switch (o) {
    case '0':
        return "开";
    case '3':
        return "平今";
    case '4':
        return "平昨";
    default:
        return "平";
    }
}

} // namespace

std::string SettlementStatement::render() const
{
    std::ostringstream out;
    const std::string rule(96, '-');
    out << cell("", 30) << (brokerName.empty() ? "期货经纪公司" : brokerName)
        << " 交易结算单(盯市)\r\n";
    out << "经纪公司代码：" << brokerId << "    客户号：" << investorId << "    客户名称："
        << investorName << "\r\n";
    out << "交易日期：" << tradingDay << "\r\n\r\n";

    const Account &a = account.account;
    out << cell("", 38) << "资金状况  币种：人民币\r\n" << rule << "\r\n";
    auto line = [&](const char *l, double lv, const char *r, double rv) {
        out << cell(l, 18) << cell(amount(lv), 20, true) << "    " << cell(r, 18)
            << cell(amount(rv), 20, true) << "\r\n";
    };
    line("上日结存：", a.preBalance, "客户权益：", account.balance);
    line("出 入 金：", a.deposit - a.withdraw, "保证金占用：", account.currMargin);
    line("平仓盈亏：", a.closeProfit, "交易所保证金：", account.exchangeMargin);
    line("持仓盯市盈亏：", account.positionProfit, "可用资金：", account.available);
    line("手 续 费：", a.commission, "风 险 度(%)：",
         account.balance > 0 ? account.currMargin * 100 / account.balance : 0.0);
    line("当日结存：", account.balance, "追加保证金：", 0.0);
    out << rule << "\r\n\r\n";

    out << cell("", 42) << "成交记录\r\n" << rule << "\r\n";
    out << cell("成交日期", 10) << cell("合约", 10) << cell("品种", 16) << cell("买卖", 6)
        << cell("开平", 6) << cell("成交价", 12, true) << cell("手数", 6, true)
        << cell("成交额", 16, true) << cell("平仓盈亏", 12, true) << "\r\n";
    double volume = 0;
    for (const Trade &t : trades) {
        auto name = instrumentNames.find(t.instrumentId);
        auto mult = multipliers.find(t.instrumentId);
        const double turnover = t.price * t.volume * (mult == multipliers.end() ? 1 : mult->second);
        out << cell(t.tradeDate, 10) << cell(t.instrumentId, 10)
            << cell(name == instrumentNames.end() ? "" : name->second, 16)
            << cell(directionText(t.direction), 6) << cell(offsetText(t.offset), 6)
            << cell(amount(t.price), 12, true) << cell(std::to_string(t.volume), 6, true)
            << cell(amount(turnover), 16, true) << cell(amount(t.closeProfit), 12, true) << "\r\n";
        volume += t.volume;
    }
    if (trades.empty()) {
        out << "（本日无成交）\r\n";
    }
    out << "共 " << trades.size() << " 条成交，" << static_cast<long long>(volume) << " 手\r\n";
    out << rule << "\r\n\r\n";

    out << cell("", 42) << "持仓汇总\r\n" << rule << "\r\n";
    out << cell("合约", 10) << cell("品种", 16) << cell("多空", 6) << cell("今昨", 6)
        << cell("持仓", 6, true) << cell("持仓成本", 16, true) << cell("结算价", 12, true)
        << cell("盯市盈亏", 14, true) << cell("保证金", 14, true) << "\r\n";
    int held = 0;
    for (const PositionRecord &p : positions) {
        if (p.position == 0) {
            continue;
        }
        auto name = instrumentNames.find(p.instrumentId);
        out << cell(p.instrumentId, 10)
            << cell(name == instrumentNames.end() ? "" : name->second, 16)
            << cell(p.direction == '2' ? "多" : "空", 6)
            << cell(p.positionDate == '2' ? "昨" : "今", 6)
            << cell(std::to_string(p.position), 6, true) << cell(amount(p.positionCost), 16, true)
            << cell(amount(p.settlementPrice), 12, true) << cell(amount(p.positionProfit), 14, true)
            << cell(amount(p.useMargin), 14, true) << "\r\n";
        ++held;
    }
    if (held == 0) {
        out << "（无持仓）\r\n";
    }
    out << rule << "\r\n";
    out << "本结算单由系统生成，请核对。如有疑问，请于下一交易日开市前联系经纪公司。\r\n";
    return out.str();
}

} // namespace simfront
