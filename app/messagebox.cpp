#include "messagebox.h"

#include <QMessageBox>
#include <QMutex>
#include <QMutexLocker>
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
} // namespace

void MessageBox::information(QWidget *parent, const QString &title, const QString &text)
{
    int ignored = 0;
    if (recordedByHook({parent, title, text, {}}, 0, &ignored)) {
        return;
    }
    QMessageBox::information(parent, title, text, QMessageBox::Ok);
}

int MessageBox::question(QWidget *parent, const QString &title, const QString &text,
                         const QString &button0, const QString &button1, int defaultButton,
                         int escapeButton)
{
    int answer = 0;
    if (recordedByHook({parent, title, text, {button0, button1}}, defaultButton, &answer)) {
        return answer;
    }
    return QMessageBox::information(parent, title, text, button0, button1, QString(), defaultButton,
                                    escapeButton);
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
