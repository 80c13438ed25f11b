// Date and Boolean texts: round trips under several locales, two-digit years, midnight, bad text; the one
// filter every device name passes; which MAC texts and bytes name a device.

#include "TestHome.h"
#include "store/DeviceText.h"
#include "store/MacAddress.h"
#include "store/TextForms.h"

#include <QTest>
#include <tuple>

Q_DECLARE_METATYPE(MacAddress::Refusal)

class TestTextForms : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { pinTestEnvironment(); }

    void datesRoundTrip_data()
    {
        QTest::addColumn<QString>("locale");
        QTest::addColumn<QDateTime>("when");
        const QDateTime afternoon(QDate(2026, 12, 5), QTime(19, 14, 6));
        const QDateTime morning(QDate(2031, 1, 2), QTime(3, 4, 5));
        const QDateTime midnight(QDate(2026, 12, 5), QTime(0, 0));
        for (const char* name : {"en_US", "en_GB", "de_DE", "fr_FR", "ja_JP", "fi_FI", "ar_EG"}) {
            QTest::addRow("%s afternoon", name) << QString::fromLatin1(name) << afternoon;
            QTest::addRow("%s morning", name) << QString::fromLatin1(name) << morning;
            QTest::addRow("%s midnight", name) << QString::fromLatin1(name) << midnight;
            QTest::addRow("%s never", name) << QString::fromLatin1(name) << TextForms::NeverDate();
        }
    }

    // Text and bytes alike: a unicast MAC, locally administered or not, is a device's; zero, broadcast and group
    // addresses never are. The canonical form reads any usual spelling of six bytes, and nothing else.
    void deviceMacs_data()
    {
        using R = MacAddress::Refusal;
        QTest::addColumn<QString>("mac");
        QTest::addColumn<R>("why");
        QTest::addColumn<QString>("canonical");
        for (const auto& [mac, why, form] : {std::tuple {"00-0C-41-A2-3B-7F", R::Device, "00-0C-41-A2-3B-7F"},
                 {"02:1a:2b:3c:4d:5e", R::Device, "02-1A-2B-3C-4D-5E"},
                 {"00-00-00-00-00-00", R::Zero, "00-00-00-00-00-00"},
                 {"ff-FF-FF-FF-FF-FF", R::Broadcast, "FF-FF-FF-FF-FF-FF"},
                 {"01-00-5E-00-00-FB", R::Group, "01-00-5E-00-00-FB"},
                 {"33-33-00-00-00-01", R::Group, "33-33-00-00-00-01"}, {"00-0C-41-A2-3B", R::Malformed, ""},
                 {"+0-0C-41-A2-3B-7F", R::Malformed, ""}, {"00.0C-41-A2-3B-7F", R::Malformed, ""},
                 {" 000c41a23b7f ", R::Malformed, "00-0C-41-A2-3B-7F"}, {"00-0C-41-A2-3B-7F0", R::Malformed, ""},
                 {"00--0C-41-A2-3B-7F", R::Malformed, ""}})
            QTest::newRow(mac) << QString::fromLatin1(mac) << why << QString::fromLatin1(form);
    }

    void deviceMacs()
    {
        QFETCH(QString, mac);
        QFETCH(MacAddress::Refusal, why);
        QCOMPARE(MacAddress::refusal(mac), why);
        if (why != MacAddress::Refusal::Malformed)
            QCOMPARE(MacAddress::refusal(QByteArray::fromHex(mac.toLatin1())), why);
        QTEST(MacAddress::canonical(mac), "canonical");
    }

    void datesRoundTrip()
    {
        QFETCH(QString, locale);
        QFETCH(QDateTime, when);
        const QLocale loc(locale);
        const QString text = TextForms::dateText(when, loc);
        QVERIFY2(!text.isEmpty(), qPrintable(locale));
        const auto back = TextForms::parseDate(text, loc);
        QVERIFY2(back.has_value(), qPrintable(text));
        QCOMPARE(*back, when);
    }

    void textShape()
    {
        const QLocale us(QLocale::English, QLocale::UnitedStates);
        QCOMPARE(TextForms::dateText(QDateTime(QDate(2026, 12, 5), QTime(19, 14, 6)), us),
            QStringLiteral("12/5/2026 7:14:06 PM"));
        QCOMPARE(TextForms::dateText(QDateTime(QDate(2026, 12, 5), QTime(0, 0)), us), QStringLiteral("12/5/2026"));
        QCOMPARE(TextForms::dateText(TextForms::NeverDate(), us), QStringLiteral("1/1/1980"));
        const QLocale de(QLocale::German, QLocale::Germany);
        QCOMPARE(TextForms::dateText(QDateTime(QDate(2026, 12, 5), QTime(19, 14, 6)), de),
            QStringLiteral("05.12.2026 19:14:06"));
    }

    // Each refused text sits beside an accepted one that differs little from it; two-digit years mean
    // 1930-2029.
    void parsedDates_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QDateTime>("expected"); // invalid when the text is refused
        const QDateTime refused;
        QTest::newRow("26") << QStringLiteral("12/5/26 7:14:06 PM") << QDateTime(QDate(2026, 12, 5), QTime(19, 14, 6));
        QTest::newRow("29") << QStringLiteral("1/1/29") << QDateTime(QDate(2029, 1, 1), QTime(0, 0));
        QTest::newRow("30") << QStringLiteral("1/1/30") << QDateTime(QDate(1930, 1, 1), QTime(0, 0));
        QTest::newRow("80") << QStringLiteral("1/1/80") << QDateTime(QDate(1980, 1, 1), QTime(0, 0));
        QTest::newRow("empty") << QString() << refused;
        QTest::newRow("words") << QStringLiteral("yesterday") << refused;
        QTest::newRow("month 12") << QStringLiteral("12/1/2026") << QDateTime(QDate(2026, 12, 1), QTime(0, 0));
        QTest::newRow("month 13") << QStringLiteral("13/1/2026") << refused;
        QTest::newRow("own locale") << QStringLiteral("12/5/2026 7:14:06 PM")
                                    << QDateTime(QDate(2026, 12, 5), QTime(19, 14, 6));
        QTest::newRow("other locale") << QStringLiteral("05.12.2026 19:14:06") << refused;
    }

    void parsedDates()
    {
        QFETCH(QString, text);
        QFETCH(QDateTime, expected);
        QCOMPARE(TextForms::parseDate(text, QLocale(QLocale::English, QLocale::UnitedStates)),
            expected.isValid() ? std::optional(expected) : std::nullopt);
    }

    void booleansAndNumbers()
    {
        QCOMPARE(TextForms::boolText(true), QStringLiteral("True"));
        QCOMPARE(TextForms::boolText(false), QStringLiteral("False"));
        QCOMPARE(TextForms::parseBool(QStringLiteral("true")), std::optional(true));
        QCOMPARE(TextForms::parseBool(QStringLiteral("FALSE")), std::optional(false));
        QCOMPARE(TextForms::parseBool(QStringLiteral("0")), std::optional(false));
        QCOMPARE(TextForms::parseBool(QStringLiteral("-1")), std::optional(true));
        QCOMPARE(TextForms::parseBool(QStringLiteral("yes")), std::optional<bool>());
        QCOMPARE(TextForms::flagValue(QStringLiteral("True")), 0);
        QCOMPARE(TextForms::flagValue(QStringLiteral(" 1 ")), 1);
        QCOMPARE(TextForms::flagValue(QString()), 0);
        QCOMPARE(TextForms::flagValue(QStringLiteral("1e2")), 100);
        for (const char* huge : {"nan", "-nan", "inf", "1e300", "-1e300"})
            QCOMPARE(TextForms::flagValue(QString::fromLatin1(huge)), 0);
        QCOMPARE(TextForms::parseByte(QStringLiteral("255")), std::optional<quint8>(255));
        QCOMPARE(TextForms::parseByte(QStringLiteral("256")), std::optional<quint8>());
    }

    void names_data()
    {
        QTest::addColumn<QString>("raw");
        QTest::addColumn<QString>("refusal"); // empty when the name is kept as it is
        const auto row = [](const char* n, const QString& raw, const char* why = "") {
            QTest::newRow(n) << raw << QString::fromUtf8(why);
        };
        row("normal", QStringLiteral("nas.lan"));
        // Markup is kept: every widget shows names as plain text.
        row("image markup", QStringLiteral("<img src=/dev/zero>.local"));
        row("NetBIOS markup", QStringLiteral("<b>PC</b>"));
        row("German", QStringLiteral("K\u00fcche-PC"));
        row("Chinese", QStringLiteral("\u5ba2\u5385"));
        row("emoji, a surrogate pair", QStringLiteral("\U0001F4F1 phone"));
        row("as long as a DNS name", QString(253, QLatin1Char('a')));
        row("CR LF", QStringLiteral("pc\r\nforged"), "holds U+000D, a control character");
        row("escape", QStringLiteral("\x1b[2Jpc"), "holds U+001B, a control character");
        row("right-to-left override", QStringLiteral("evil\u202Egnp.exe"), "holds U+202E, a format character");
        row("line separator", QStringLiteral("a\u2028b"), "holds U+2028, a line separator");
        row("paragraph separator", QStringLiteral("a\u2029b"), "holds U+2029, a paragraph separator");
        row("private use", QStringLiteral("pc\uE000"), "holds U+E000, a private-use character");
        row("lone surrogate", QStringLiteral("pc") + QChar(0xD800), "holds U+D800, a lone surrogate");
        row("unassigned", QStringLiteral("pc\u0378"), "holds U+0378, an unassigned character");
        row("300 characters", QString(300, QLatin1Char('a')), "is longer than 253 characters");
    }

    void names()
    {
        QFETCH(QString, raw);
        QFETCH(QString, refusal);
        const DeviceText::Name name = DeviceText::filterName(raw);
        QCOMPARE(name.refusal, refusal);
        QCOMPARE(name.text, refusal.isEmpty() ? raw : QString());
    }
};

KW_TEST_GUILESS_MAIN(TestTextForms)
#include "tst_textforms.moc"
