#include "sessiongate.h"

void SessionGate::connectionLost()
{
    std::lock_guard<std::mutex> lock(mutex);
    sessionLoggedIn = false;
}

bool SessionGate::loggedIn(const std::string &tradingDay)
{
    std::lock_guard<std::mutex> lock(mutex);
    sessionLoggedIn = true;
    loginDay = tradingDay;
    return loginDay != confirmedDay;
}

void SessionGate::confirmed()
{
    std::lock_guard<std::mutex> lock(mutex);
    confirmedDay = loginDay;
}

void SessionGate::loggedOut()
{
    std::lock_guard<std::mutex> lock(mutex);
    sessionLoggedIn = false;
}

void SessionGate::reset()
{
    std::lock_guard<std::mutex> lock(mutex);
    sessionLoggedIn = false;
    loginDay.clear();
    confirmedDay.clear();
}

SessionGate::Refusal SessionGate::orderRefusal() const
{
    std::lock_guard<std::mutex> lock(mutex);
    if (!sessionLoggedIn) {
        return Refusal::NotLoggedIn;
    }
    return loginDay == confirmedDay ? Refusal::None : Refusal::DayNotConfirmed;
}

std::string SessionGate::tradingDay() const
{
    std::lock_guard<std::mutex> lock(mutex);
    return loginDay;
}
