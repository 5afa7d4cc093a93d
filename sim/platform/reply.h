#pragma once

#include <nlohmann/json.hpp>
#include <string>

// One answer of the platform: the HTTP status and the envelope {code, msg[, data]}.
struct Reply
{
    int status = 200;
    nlohmann::json body;

    static Reply ok(nlohmann::json data);
    static Reply okWithoutData();
    static Reply error(int status, int code, const std::string &msg);
};

// The platform's answer codes besides the HTTP statuses it also uses as codes.
namespace ReplyCode {
constexpr int kLoginFailed = 1001;
constexpr int kNoSignal = 1002;
constexpr int kUnknownUser = 1003;
constexpr int kBadRequest = 400;
constexpr int kUnauthorized = 401;
constexpr int kNotFound = 404;
constexpr int kMethodNotAllowed = 405;
constexpr int kTooLarge = 413;
constexpr int kServerError = 500;
} // namespace ReplyCode
