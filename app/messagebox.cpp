#include "messagebox.h"

#include <QMessageBox>
#include <QMutex>
#include <QMutexLocker>
#include <QPushButton>
#include <QQueue>

namespace {
struct TestHook
{
    QMutex mutex;
    bool on = false;
    QQueue<int> answers;
    QList<MessageBox::Shown> shown;
};

TestHook &hook()
{
    static TestHook instance;
    return instance;
}

// Records the box when the hook is on; returns whether the box was consumed by the hook.
bool recordedByHook(const MessageBox::Shown &box, int fallbackAnswer, int *answer)
{
    TestHook &h = hook();
    QMutexLocker locker(&h.mutex);
    if (!h.on) {
        return false;
    }
    h.shown.append(box);
    *answer = h.answers.isEmpty() ? fallbackAnswer : h.answers.dequeue();
    return true;
}

// The texts come from the platform and the fronts as often as from the program: markup in them
// is shown as sent, never rendered, and a link in them can never be followed.
void showAsPlainText(QMessageBox &box)
{
    box.setTextFormat(Qt::PlainText);
    box.setTextInteractionFlags(Qt::TextSelectableByMouse);
}
} // namespace

void MessageBox::information(QWidget *parent, const QString &title, const QString &text)
{
    int ignored = 0;
    if (recordedByHook({parent, title, text, {}}, 0, &ignored)) {
        return;
    }
    QMessageBox box(QMessageBox::Information, title, text, QMessageBox::Ok, parent);
    showAsPlainText(box);
    box.exec();
}

int MessageBox::question(QWidget *parent, const QString &title, const QString &text,
                         const QString &button0, const QString &button1, int defaultButton,
                         int escapeButton)
{
    int answer = 0;
    if (recordedByHook({parent, title, text, {button0, button1}}, defaultButton, &answer)) {
        return answer;
    }
    QMessageBox box(QMessageBox::Information, title, text, QMessageBox::NoButton, parent);
    showAsPlainText(box);
    QList<QPushButton *> buttons{box.addButton(button0, QMessageBox::ActionRole)};
    if (!button1.isEmpty()) {
        buttons.append(box.addButton(button1, QMessageBox::ActionRole));
    }
    box.setDefaultButton(buttons.value(defaultButton));
    box.setEscapeButton(buttons.value(escapeButton));
    box.exec();
    // A box closed without a button answers -1, as the legacy form does.
    return buttons.indexOf(qobject_cast<QPushButton *>(box.clickedButton()));
}

void MessageBox::setTestMode(bool on)
{
    TestHook &h = hook();
    QMutexLocker locker(&h.mutex);
    h.on = on;
    h.answers.clear();
    h.shown.clear();
}

void MessageBox::setNextAnswer(int answer)
{
    TestHook &h = hook();
    QMutexLocker locker(&h.mutex);
    h.answers.enqueue(answer);
}

QList<MessageBox::Shown> MessageBox::takeShown()
{
    TestHook &h = hook();
    QMutexLocker locker(&h.mutex);
    QList<Shown> shown;
    shown.swap(h.shown);
    return shown;
}
