#pragma once

#include <QObject>
#include <QStringList>

// Stands in for the main window and the log file while it lives: message-area lines arrive
// through append(), and every warning, from any thread, is kept in order.
class Capture : public QObject
{
    Q_OBJECT

public:
    Capture();
    ~Capture() override;

    QStringList takeLines();
    QStringList takeWarnings();

public slots:
    void append(QString text);

private:
    QStringList lines;
};
