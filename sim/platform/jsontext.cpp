#include "jsontext.h"

namespace JsonText {
namespace {

bool withinDepth(const std::string &text)
{
    int depth = 0;
    bool inString = false;
    bool escaped = false;
    for (char c : text) {
        if (inString) {
            if (escaped)
                escaped = false;
            else if (c == '\\')
                escaped = true;
            else if (c == '"')
                inString = false;
            continue;
        }
        if (c == '"') {
            inString = true;
        } else if (c == '[' || c == '{') {
            if (++depth > kMaxDepth)
                return false;
        } else if (c == ']' || c == '}') {
            --depth;
        }
    }
    return true;
}

} // namespace

bool parse(const std::string &text, nlohmann::json *value)
{
    if (!withinDepth(text))
        return false;
    *value = nlohmann::json::parse(text, nullptr, false);
    return !value->is_discarded();
}

bool parseObject(const std::string &text, nlohmann::json *object)
{
    return parse(text, object) && object->is_object();
}

std::string dump(const nlohmann::json &value)
{
    return value.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
}

nlohmann::json safeString(const std::string &bytes)
{
    // A round trip through the replacing printer yields valid UTF-8 for any input.
    const std::string quoted =
        nlohmann::json(bytes).dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
    return nlohmann::json::parse(quoted);
}

} // namespace JsonText
