#pragma once

#include <nlohmann/json.hpp>
#include <string>

// JSON text from and to the network, safe for any bytes a client may send.
namespace JsonText {

// Deeper documents are refused before parsing: printing one recursively would exhaust the
// stack of the thread that answers.
constexpr int kMaxDepth = 64;

// Parses text into a value; false for invalid JSON or one nested deeper than kMaxDepth.
bool parse(const std::string &text, nlohmann::json *value);
// Parses text that must hold a JSON object.
bool parseObject(const std::string &text, nlohmann::json *object);
// Compact text; bytes that are not UTF-8 become U+FFFD instead of failing.
std::string dump(const nlohmann::json &value);
// The text as a JSON string value, with bytes that are not UTF-8 replaced.
nlohmann::json safeString(const std::string &bytes);

} // namespace JsonText
