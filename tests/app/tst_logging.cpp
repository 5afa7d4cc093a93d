#include "globalvars.h"
#include "logging.h"
#include "startup.h"

#include <QDate>
#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTextCodec>
#include <QtTest>

#include <thread>

namespace {
QByteArray readAll(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        return QByteArray();
    }
    return file.readAll();
}

QList<QByteArray> linesOf(const QByteArray &content)
{
    QList<QByteArray> lines = content.split('\n');
    if (!lines.isEmpty() && lines.last().isEmpty()) {
        lines.removeLast();
    }
    return lines;
}
} // namespace

class TestLogging : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir *workDir = nullptr;
    QString previousDir;

private slots:
    void initTestCase()
    {
        useGb2312Locale();
        qInstallMessageHandler(messageHandler);
        previousDir = QDir::currentPath();
    }

    void init()
    {
        workDir = new QTemporaryDir;
        QVERIFY(workDir->isValid());
        QDir::setCurrent(workDir->path());
        GlobalVars::username = QString();
    }

    void cleanup()
    {
        QDir::setCurrent(previousDir);
        delete workDir;
        workDir = nullptr;
    }

    void chineseLineIsStoredAsGb2312WithCrLf()
    {
        const QString text = QString::fromUtf8("[行情] 连接成功");
        qCritical().noquote() << text;

        const QByteArray content = readAll("log/access.log");
        const QByteArray expectedText = QTextCodec::codecForName("gb2312")->fromUnicode(text);
        QCOMPARE(expectedText.toHex(), QByteArray("5bd0d0c7e95d20c1acbdd3b3c9b9a6"));
        const QRegularExpression stamped(
            QStringLiteral("^\\[\\d{4}-\\d\\d-\\d\\d \\d\\d:\\d\\d:\\d\\d\\] $"));
        QVERIFY(content.endsWith(expectedText + "\r\n"));
        const QByteArray prefix = content.left(content.size() - expectedText.size() - 2);
        QVERIFY2(stamped.match(QString::fromLatin1(prefix)).hasMatch(), prefix.constData());
    }

    void appendsAndNeverTruncates()
    {
        QVERIFY(QDir().mkpath("log"));
        QFile existing("log/access.log");
        QVERIFY(existing.open(QIODevice::WriteOnly));
        existing.write("earlier line\r\n");
        existing.close();

        qWarning("first");
        qCritical("second");

        const QList<QByteArray> lines = linesOf(readAll("log/access.log"));
        QCOMPARE(lines.size(), 3);
        QCOMPARE(lines.at(0), QByteArray("earlier line\r"));
        QVERIFY(lines.at(1).endsWith("] first\r"));
        QVERIFY(lines.at(2).endsWith("] second\r"));
    }

    void debugAndInfoAreDropped()
    {
        qDebug("not written");
        qInfo("not written either");
        QVERIFY(!QFile::exists("log/access.log"));

        qWarning("written");
        QCOMPARE(linesOf(readAll("log/access.log")).size(), 1);
    }

    void placeholdersInTheMessageStayLiteral()
    {
        qCritical("%s", "price %1 volume %2");
        const QByteArray content = readAll("log/access.log");
        QVERIFY2(content.endsWith("] price %1 volume %2\r\n"), content.constData());
    }

    void userLinesGoToTheirOwnFileUntilTheSessionIsReset()
    {
        GlobalVars::username = QStringLiteral("trader01");
        qCritical("after login");

        const QString stamp = GlobalVars::startStamp;
        QCOMPARE(stamp.size(), 12);
        const QString day = QDate::currentDate().toString("yyyy-MM-dd");
        const QString userFile = QStringLiteral("log/trader01/trader01-%1-%2.log").arg(day, stamp);
        QCOMPARE(currentLogPath(), userFile);
        QVERIFY(readAll(userFile).endsWith("] after login\r\n"));
        QVERIFY(!QFile::exists("log/access.log"));

        GlobalVars::resetSession();
        qCritical("after logout");
        QCOMPARE(currentLogPath(), QStringLiteral("log/access.log"));
        QVERIFY(readAll("log/access.log").endsWith("] after logout\r\n"));
        QCOMPARE(linesOf(readAll(userFile)).size(), 1);
    }

    void userNameCannotLeaveTheLogFolder()
    {
        GlobalVars::username = QStringLiteral("../../escape");
        qCritical("contained");
        GlobalVars::username = QString();
        QVERIFY(!QFile::exists(QDir(workDir->path()).absoluteFilePath("../escape")));
        const QStringList userDirs =
            QDir("log").entryList(QDir::Dirs | QDir::Hidden | QDir::NoDotAndDotDot);
        QCOMPARE(userDirs, QStringList{QStringLiteral(".._.._escape")});
    }

    void anUnwritableLogLosesTheLineAndTheNextOneTriesAgain()
    {
        QFile blocker("log");
        QVERIFY(blocker.open(QIODevice::WriteOnly)); // a file where the folder should be
        blocker.close();
        qCritical("lost");
        QVERIFY(QFile::remove("log"));

        qCritical("kept");
        const QList<QByteArray> lines = linesOf(readAll("log/access.log"));
        QCOMPARE(lines.size(), 1);
        QVERIFY(lines.at(0).endsWith("] kept\r"));
    }

    void twoThreadsWriteWholeLinesOnly()
    {
        const int perThread = 400;
        auto writer = [perThread](char mark) {
            const QString payload = QString(200, QLatin1Char(mark));
            for (int i = 0; i < perThread; ++i) {
                qCritical("%s", qPrintable(payload));
            }
        };
        std::thread a(writer, 'a');
        std::thread b(writer, 'b');
        a.join();
        b.join();

        const QList<QByteArray> lines = linesOf(readAll("log/access.log"));
        QCOMPARE(lines.size(), 2 * perThread);
        const QByteArray lineA = "] " + QByteArray(200, 'a') + "\r";
        const QByteArray lineB = "] " + QByteArray(200, 'b') + "\r";
        for (const QByteArray &line : lines) {
            QVERIFY(line.size() == 20 + lineA.size());
            QVERIFY(line.endsWith(lineA) || line.endsWith(lineB));
        }
    }
};

QTEST_GUILESS_MAIN(TestLogging)
#include "tst_logging.moc"
