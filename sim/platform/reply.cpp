#include "reply.h"

Reply Reply::ok(nlohmann::json data)
{
    Reply r;
    r.body = {{"code", 0}, {"msg", "成功"}, {"data", std::move(data)}};
    return r;
}

Reply Reply::okWithoutData()
{
    Reply r;
    r.body = {{"code", 0}, {"msg", "成功"}};
    return r;
}

Reply Reply::error(int status, int code, const std::string &msg)
{
    Reply r;
    r.status = status;
    r.body = {{"code", code}, {"msg", msg}};
    return r;
}
