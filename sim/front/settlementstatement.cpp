#include "settlementstatement.h"

#include <cstdio>
#include <map>
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
    const std::string rule(100, '-');
    auto title = [&](const char *text) {
        out << "\r\n" << cell("", 42) << text << "\r\n" << rule << "\r\n";
    };
    auto name = [&](const std::string &instrumentId) {
        auto it = instrumentNames.find(instrumentId);
        return it == instrumentNames.end() ? std::string() : it->second;
    };

    out << cell("", 30) << (brokerName.empty() ? "期货经纪公司" : brokerName)
        << " 交易结算单(盯市)\r\n";
    out << "经纪公司代码：" << brokerId << "    客户号：" << investorId << "    客户名称："
        << investorName << "\r\n";
    out << "交易日期：" << tradingDay << "    结算方式：逐日盯市    币种：人民币\r\n";

    title("重要提示");
    out << "一、本结算单为贵方当日交易、资金及持仓情况的正式记录，请于下一交易日开市前认真核对。\r"
           "\n"
           "二、贵方在下一交易日开市前未提出异议的，视为对本结算单所载事项的确认。\r\n"
           "三、期货交易风险较大，请合理控制仓位，保证金不足时请及时追加或自行减仓。\r\n"
           "四、交易所调整保证金比例或涨跌停板幅度时，以交易所及本公司的最新通知为准。\r\n"
           "五、请妥善保管交易密码，不要委托他人代为操作，谨防诈骗。\r\n";

    const Account &a = account.account;
    title("资金状况");
    auto line = [&](const char *l, double lv, const char *r, double rv) {
        out << cell(l, 20) << cell(amount(lv), 20, true) << "    " << cell(r, 20)
            << cell(amount(rv), 20, true) << "\r\n";
    };
    line("上日结存：", a.preBalance, "客户权益：", account.balance);
    line("出 入 金：", a.deposit - a.withdraw, "保证金占用：", account.currMargin);
    line("平仓盈亏：", a.closeProfit, "交易所保证金：", account.exchangeMargin);
    line("持仓盯市盈亏：", account.positionProfit, "可用资金：", account.available);
    line("手 续 费：", a.commission, "风 险 度(%)：",
         account.balance > 0 ? account.currMargin * 100 / account.balance : 0.0);
    line("当日结存：", account.balance, "追加保证金：", 0.0);
    line("质 押 金：", 0.0, "交割保证金：", 0.0);
    line("上日保证金：", a.preMargin, "冻结资金：", 0.0);

    title("出入金明细");
    out << cell("发生日期", 12) << cell("出入金类型", 14) << cell("入金", 18, true)
        << cell("出金", 18, true) << "    " << cell("说明", 20) << "\r\n";
    if (a.deposit == 0 && a.withdraw == 0) {
        out << "（本日无出入金）\r\n";
    } else {
        out << cell(tradingDay, 12) << cell("银期转账", 14) << cell(amount(a.deposit), 18, true)
            << cell(amount(a.withdraw), 18, true) << "    " << cell("当日合计", 20) << "\r\n";
    }

    title("成交记录");
    out << cell("成交日期", 10) << cell("合约", 10) << cell("品种", 16) << cell("买卖", 6)
        << cell("开平", 6) << cell("成交价", 12, true) << cell("手数", 6, true)
        << cell("成交额", 16, true) << cell("平仓盈亏", 12, true) << cell("手续费", 10, true)
        << "\r\n";
    double volume = 0;
    double fees = 0;
    for (const Trade &t : trades) {
        auto mult = multipliers.find(t.instrumentId);
        const double turnover = t.price * t.volume * (mult == multipliers.end() ? 1 : mult->second);
        out << cell(t.tradeDate, 10) << cell(t.instrumentId, 10) << cell(name(t.instrumentId), 16)
            << cell(directionText(t.direction), 6) << cell(offsetText(t.offset), 6)
            << cell(amount(t.price), 12, true) << cell(std::to_string(t.volume), 6, true)
            << cell(amount(turnover), 16, true) << cell(amount(t.closeProfit), 12, true)
            << cell(amount(t.commission), 10, true) << "\r\n";
        volume += t.volume;
        fees += t.commission;
    }
    if (trades.empty()) {
        out << "（本日无成交）\r\n";
    }
    out << "共 " << trades.size() << " 条成交，" << static_cast<long long>(volume)
        << " 手，手续费合计 " << amount(fees) << " 元\r\n";

    title("持仓明细");
    out << cell("合约", 10) << cell("品种", 16) << cell("多空", 6) << cell("今昨", 6)
        << cell("持仓", 6, true) << cell("持仓成本", 16, true) << cell("结算价", 12, true)
        << cell("盯市盈亏", 14, true) << cell("保证金", 14, true) << "\r\n";
    int held = 0;
    for (const PositionRecord &p : positions) {
        if (p.position == 0) {
            continue;
        }
        out << cell(p.instrumentId, 10) << cell(name(p.instrumentId), 16)
            << cell(p.direction == '2' ? "多头" : "空头", 6)
            << cell(p.positionDate == '2' ? "昨仓" : "今仓", 6)
            << cell(std::to_string(p.position), 6, true) << cell(amount(p.positionCost), 16, true)
            << cell(amount(p.settlementPrice), 12, true) << cell(amount(p.positionProfit), 14, true)
            << cell(amount(p.useMargin), 14, true) << "\r\n";
        ++held;
    }
    if (held == 0) {
        out << "（本日无持仓明细）\r\n";
    }

    title("持仓汇总");
    out << cell("合约", 10) << cell("品种", 16) << cell("多头持仓", 10, true)
        << cell("空头持仓", 10, true) << cell("结算价", 12, true) << cell("盯市盈亏", 16, true)
        << cell("保证金占用", 16, true) << "\r\n";
    struct Sum
    {
        int longs = 0;
        int shorts = 0;
        double settle = 0;
        double profit = 0;
        double margin = 0;
    };
    std::map<std::string, Sum> sums;
    for (const PositionRecord &p : positions) {
        if (p.position == 0) {
            continue;
        }
        Sum &sum = sums[p.instrumentId];
        (p.direction == '2' ? sum.longs : sum.shorts) += p.position;
        sum.settle = p.settlementPrice;
        sum.profit += p.positionProfit;
        sum.margin += p.useMargin;
    }
    for (const auto &[id, sum] : sums) {
        out << cell(id, 10) << cell(name(id), 16) << cell(std::to_string(sum.longs), 10, true)
            << cell(std::to_string(sum.shorts), 10, true) << cell(amount(sum.settle), 12, true)
            << cell(amount(sum.profit), 16, true) << cell(amount(sum.margin), 16, true) << "\r\n";
    }
    if (sums.empty()) {
        out << "（无持仓）\r\n";
    }
    out << rule << "\r\n";
    out << "说明：本结算单由系统自动生成，内容以本公司结算系统记录为准。持仓盯市盈亏按当日结算价"
           "计算，平仓盈亏按上日结算价或开仓价计算。如对本结算单有任何疑问，请于下一交易日开市前"
           "与本公司客户服务部门联系；逾期未提出异议的，视为贵方已确认本结算单的全部内容。\r\n";
    out << "免责声明：市场有风险，投资需谨慎。本公司不对因通讯故障、系统维护等不可抗力造成的损失"
           "承担责任。\r\n";
    return out.str();
}

} // namespace simfront
