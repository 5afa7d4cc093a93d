#pragma once

#include "mainwindow.h"

#include <QString>
#include <QStringList>
#include <QTextEdit>

// What the main window shows, read the way a user reads it.
class WindowProbe
{
public:
    explicit WindowProbe(MainWindow &window) : window(window) {}

    template <class T> T *child(const char *name) const
    {
        T *found = window.findChild<T *>(QString::fromLatin1(name));
        if (!found) {
            qFatal("no child %s", name);
        }
        return found;
    }

    // The message-area lines without the leading ">> " and the trailing " - <time>".
    QStringList messages() const
    {
        const QString text = child<QTextEdit>("textEdit")->toPlainText();
        QStringList lines;
        if (text.isEmpty()) {
            return lines;
        }
        const int stampLength = QStringLiteral(" - yyyy/MM/dd HH:mm:ss").size();
        for (const QString &line : text.split(QLatin1Char('\n'))) {
            lines << line.mid(3, line.size() - 3 - stampLength);
        }
        return lines;
    }

    QString lastMessage() const
    {
        const QStringList lines = messages();
        return lines.isEmpty() ? QString() : lines.last();
    }

    void clearMessages() const { child<QTextEdit>("textEdit")->clear(); }

private:
    MainWindow &window;
};
