#pragma once

#include <mutex>
#include <string>

// Whether the trading session may send orders: logged in on the connection that is up now, and
// the settlement statement of the login's trading day confirmed. A broker forgets a session when
// the connection drops, and after its outage the login answers a new trading day whose orders it
// refuses until that day's statement is confirmed. Written on the callback thread, read by the
// order commands on any thread.
class SessionGate
{
public:
    enum class Refusal
    {
        None,
        NotLoggedIn,
        DayNotConfirmed,
    };

    void connectionLost();
    // True when the login's trading day still wants its statement confirmed.
    bool loggedIn(const std::string &tradingDay);
    void confirmed();
    void loggedOut();
    // A new API object: its logins run the whole sequence, confirmation included.
    void reset();

    Refusal orderRefusal() const;
    std::string tradingDay() const;

private:
    mutable std::mutex mutex;
    bool sessionLoggedIn = false;
    std::string loginDay;
    std::string confirmedDay;
};
