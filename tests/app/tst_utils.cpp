#include "globalvars.h"
#include "utils.h"

#include <QJsonArray>
#include <QLocale>
#include <QTemporaryDir>
#include <QTextCodec>
#include <QtTest>

#include <cfloat>
#include <cmath>

namespace {
QStringList debugLines;

void captureDebug(QtMsgType type, const QMessageLogContext &, const QString &message)
{
    if (type == QtDebugMsg) {
        debugLines.append(message);
    }
}
} // namespace

class TestUtils : public QObject
{
    Q_OBJECT

private slots:
    void containsNeedsEveryKeyPresent()
    {
        const QJsonObject reply{{"code", 0}, {"msg", "ok"}, {"data", QJsonValue::Null}};
        QVERIFY(Utils::contains(reply, "code,msg,data")); // null counts as present
        QVERIFY(Utils::contains(reply, "msg"));
        QVERIFY(!Utils::contains(reply, "code,msg,data,extra"));
        QVERIFY(!Utils::contains(reply, "Code")); // names are case-sensitive

        // An empty object fails even for an empty list, which otherwise asks for the key "".
        QVERIFY(!Utils::contains(QJsonObject(), ""));
        QVERIFY(!Utils::contains(reply, ""));
        QVERIFY(Utils::contains(QJsonObject{{"", 1}}, ""));
        QVERIFY(!Utils::contains(reply, "code,,msg"));

        // Nothing is trimmed: " msg" is another key than "msg".
        QVERIFY(!Utils::contains(reply, "code, msg"));
    }

    void containsNamesTheFirstMissingKey()
    {
        debugLines.clear();
        QtMessageHandler previous = qInstallMessageHandler(captureDebug);
        const bool found = Utils::contains(QJsonObject{{"code", 0}}, "code,msg,data");
        qInstallMessageHandler(previous);

        QVERIFY(!found);
        QCOMPARE(debugLines, QStringList{QStringLiteral("Utils::contains()  1 : \"msg\"")});
    }

    void getObjectTakesOnlyObjects()
    {
        const QJsonObject inner{{"token", "abc"}};
        const QJsonObject reply{{"data", inner}, {"msg", "text"}, {"list", QJsonArray{1, 2}}};
        QCOMPARE(Utils::getObject(reply, "data"), inner);
        QVERIFY(Utils::getObject(reply, "msg").isEmpty());
        QVERIFY(Utils::getObject(reply, "list").isEmpty());
        QVERIFY(Utils::getObject(reply, "missing").isEmpty());
        QVERIFY(Utils::getObject(QJsonObject(), "data").isEmpty());
    }

    void settingsRoundTripKeepsOtherEntries()
    {
        QTemporaryDir dir;
        GlobalVars::iniPath = dir.filePath("setup.ini");
        QCOMPARE(Utils::readSetting("SETUP", "username"), QString());

        Utils::writeSetting("SETUP", "username", QString::fromUtf8("交易员01"));
        Utils::writeSetting("SETUP", "investerID", "000001");
        Utils::writeSetting("OTHER", "username", "elsewhere");
        QVERIFY(QFile::exists(dir.filePath("setup.ini")));

        QCOMPARE(Utils::readSetting("SETUP", "username"), QString::fromUtf8("交易员01"));
        QCOMPARE(Utils::readSetting("SETUP", "investerID"), QStringLiteral("000001"));
        QCOMPARE(Utils::readSetting("OTHER", "username"), QStringLiteral("elsewhere"));

        Utils::writeSetting("SETUP", "username", "second");
        QCOMPARE(Utils::readSetting("SETUP", "username"), QStringLiteral("second"));
        QCOMPARE(Utils::readSetting("SETUP", "investerID"), QStringLiteral("000001"));
    }

    void gb2312DecodingStopsAtTheFirstNul()
    {
        const QByteArray gb =
            QTextCodec::codecForName("gb2312")->fromUnicode(QString::fromUtf8("报单已提交"));
        std::string field(gb.constData(), static_cast<size_t>(gb.size()));
        field.push_back('\0');
        field += "garbage after the terminator";
        QCOMPARE(Utils::fromGb2312(field), QString::fromUtf8("报单已提交"));

        char fixed[81] = {}; // a CTP field filled without its terminator being the last byte
        memcpy(fixed, gb.constData(), static_cast<size_t>(gb.size()));
        QCOMPARE(Utils::fromGb2312(fixed), QString::fromUtf8("报单已提交"));

        QCOMPARE(Utils::fromGb2312(""), QString());
        QCOMPARE(Utils::fromGb2312("CTP:ok"), QStringLiteral("CTP:ok"));
        const QString broken = Utils::fromGb2312(std::string("\xa1\x20", 2));
        QVERIFY(!broken.isEmpty());
        QVERIFY(broken.contains(QChar(QChar::ReplacementCharacter)));
    }

    void validDoubleFiltersOnlyTheEmptyMarker()
    {
        QCOMPARE(Utils::validDouble(999999999999.0), 999999999999.0);
        QCOMPARE(Utils::validDouble(1e12), 0.0);
        QCOMPARE(Utils::validDouble(DBL_MAX), 0.0);
        QCOMPARE(Utils::validDouble(3456.5), 3456.5);
        QCOMPARE(Utils::validDouble(-5.0), -5.0);
        QCOMPARE(Utils::validDouble(-DBL_MAX), -DBL_MAX);
        QVERIFY(std::isnan(Utils::validDouble(std::nan(""))));
    }

    void formatDoubleUsesTwoDecimalsWhateverTheLocale()
    {
        const QLocale previous;
        QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
        QCOMPARE(Utils::formatDouble(2.5), QStringLiteral("2.50"));
        QCOMPARE(Utils::formatDouble(3456.5), QStringLiteral("3456.50"));
        QCOMPARE(Utils::formatDouble(1234567.891), QStringLiteral("1234567.89"));
        QCOMPARE(Utils::formatDouble(-1.5), QStringLiteral("-1.50"));
        QCOMPARE(Utils::formatDouble(0.0), QStringLiteral("0.00"));
        QLocale::setDefault(previous);
    }

    void pathComponentsStayInsideTheirFolder()
    {
        QCOMPARE(Utils::safePathComponent("trader01"), QStringLiteral("trader01"));
        QCOMPARE(Utils::safePathComponent(QString::fromUtf8("张三")), QString::fromUtf8("张三"));
        QCOMPARE(Utils::safePathComponent("a/b\\c:d"), QStringLiteral("a_b_c_d"));
        QCOMPARE(Utils::safePathComponent(".."), QStringLiteral("__"));
        QCOMPARE(Utils::safePathComponent("."), QStringLiteral("_"));
    }
};

QTEST_GUILESS_MAIN(TestUtils)
#include "tst_utils.moc"
