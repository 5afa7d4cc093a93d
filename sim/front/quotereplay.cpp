#include "quotereplay.h"

#include <cstdlib>
#include <fstream>
#include <sstream>

namespace simfront {

namespace {

std::string trim(const std::string &s)
{
    const auto b = s.find_first_not_of(" \t\r\n");
    if (b == std::string::npos) {
        return {};
    }
    const auto e = s.find_last_not_of(" \t\r\n");
    return s.substr(b, e - b + 1);
}

bool number(const std::string &cell, double &out)
{
    if (cell.empty()) {
        return false;
    }
    char *end = nullptr;
    out = std::strtod(cell.c_str(), &end);
    return end && *end == '\0';
}

} // namespace

bool QuoteReplay::load(const std::string &path, std::string &error)
{
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        error = "cannot read " + path;
        return false;
    }
    std::ostringstream text;
    text << in.rdbuf();
    if (!parse(text.str(), error)) {
        error = path + ": " + error;
        return false;
    }
    return true;
}

bool QuoteReplay::parse(const std::string &text, std::string &error)
{
    rows.clear();
    position = 0;
    std::istringstream lines(text);
    std::string line;
    int lineNo = 0;
    while (std::getline(lines, line)) {
        ++lineNo;
        line = trim(line);
        if (line.empty() || line[0] == '#' || (lineNo == 1 && line.rfind("instrument", 0) == 0)) {
            continue;
        }
        std::vector<std::string> cells;
        std::istringstream fields(line);
        std::string cell;
        while (std::getline(fields, cell, ',')) {
            cells.push_back(trim(cell));
        }
        QuoteUpdate row;
        double v = 0;
        if (cells.size() < 2 || cells[0].empty() || !number(cells[1], v)) {
            error = "line " + std::to_string(lineNo) + ": instrument and last price expected";
            return false;
        }
        row.instrumentId = cells[0];
        row.last = v;
        auto optionalCell = [&](std::size_t i, auto &target) {
            if (i < cells.size() && !cells[i].empty()) {
                double x = 0;
                if (!number(cells[i], x)) {
                    return false;
                }
                target = static_cast<typename std::decay_t<decltype(target)>::value_type>(x);
            }
            return true;
        };
        if (!optionalCell(2, row.bid) || !optionalCell(3, row.bidVolume) ||
            !optionalCell(4, row.ask) || !optionalCell(5, row.askVolume) ||
            !optionalCell(6, row.volume)) {
            error = "line " + std::to_string(lineNo) + ": a cell is not a number";
            return false;
        }
        rows.push_back(row);
    }
    if (rows.empty()) {
        error = "no ticks";
        return false;
    }
    return true;
}

const QuoteUpdate &QuoteReplay::next()
{
    const QuoteUpdate &row = rows[position];
    position = (position + 1) % rows.size();
    return row;
}

} // namespace simfront
