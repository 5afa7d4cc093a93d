#pragma once

#include <QList>
#include <QString>

class QWidget;

#ifdef MessageBox
#undef MessageBox // windows.h maps the name to its own function
#endif

// Every box the system shows goes through here, so tests can answer them without a person and
// no platform or exchange text is ever read as markup. GUI thread only.
class MessageBox
{
public:
    struct Shown
    {
        QWidget *parent;
        QString title;
        QString text;
        QList<QString> buttons; // empty for an information box with its OK button
    };

    // A modal information box with the one button OK.
    static void information(QWidget *parent, const QString &title, const QString &text);

    // The two-button question of the legacy QMessageBox::information form: returns 0 for the
    // first button, 1 for the second and escapeButton when the box is closed otherwise.
    static int question(QWidget *parent, const QString &title, const QString &text,
                        const QString &button0, const QString &button1, int defaultButton = 1,
                        int escapeButton = -1);

    // Test hook: while on, no box is shown. Each box is recorded; a question takes the next
    // queued answer, or its default button when none is queued.
    static void setTestMode(bool on);
    static void setNextAnswer(int answer);
    static QList<Shown> takeShown();
};
