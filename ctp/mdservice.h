#pragma once

#include <QMutex>
#include <QObject>

// The connection to the market-data front, driven by the trading side: its init() starts this
// one first, its release() stops this one first, and its login and logout answers log the
// market data in and out.
class MdService : public QObject
{
    Q_OBJECT

public:
    using QObject::QObject;

    // A fresh API object connecting to GlobalVars::mdAddress; 0, or -1 when the set-up failed.
    int init();
    // Ends the API object, then the callback object; no callback runs afterwards.
    void release();
    int reqUserLogin(int requestNo);
    int reqUserLogout(int requestNo);

private:
    // Serialises init() and release() only. No callback takes it, so releasing the API object
    // (which waits for a running callback) under it cannot deadlock.
    QMutex mutex;
};
