#include "store/TextForms.h"

#include <QHash>

namespace {

// Removes every unquoted run of 't' (the zone field) and the blanks before it.
QString withoutZone(const QString& format)
{
    QString out;
    bool quoted = false;
    for (qsizetype i = 0; i < format.size(); ++i) {
        const QChar c = format.at(i);
        if (c == QLatin1Char('\'')) {
            quoted = !quoted;
        } else if (!quoted && c == QLatin1Char('t')) {
            while (out.endsWith(QLatin1Char(' ')))
                out.chop(1);
            continue;
        }
        out += c;
    }
    return out.trimmed();
}

// Widens every unquoted run of 'y' to four digits.
QString fourDigitYear(const QString& format)
{
    QString out;
    bool quoted = false;
    for (qsizetype i = 0; i < format.size(); ++i) {
        const QChar c = format.at(i);
        if (c == QLatin1Char('\''))
            quoted = !quoted;
        if (!quoted && c == QLatin1Char('y')) {
            while (i + 1 < format.size() && format.at(i + 1) == QLatin1Char('y'))
                ++i;
            out += QLatin1String("yyyy");
            continue;
        }
        out += c;
    }
    return out;
}

struct Formats
{
    QString date;        // four-digit year
    QString shortDate;   // the locale's own
    QString time;        // long time without zone
    QString dateTime;    // date + " " + time
    QString shortDateTime;
};

const Formats& formatsFor(const QLocale& locale)
{
    static QHash<QString, Formats> cache;
    const QString key = locale.name() + QLatin1Char('|') + locale.dateFormat(QLocale::ShortFormat);
    auto it = cache.constFind(key);
    if (it != cache.constEnd())
        return it.value();
    Formats f;
    f.shortDate = locale.dateFormat(QLocale::ShortFormat);
    f.date = fourDigitYear(f.shortDate);
    f.time = withoutZone(locale.timeFormat(QLocale::LongFormat));
    f.dateTime = f.date + QLatin1Char(' ') + f.time;
    f.shortDateTime = f.shortDate + QLatin1Char(' ') + f.time;
    return cache.insert(key, f).value();
}

// Two-digit years read as 19xx; they stand for 1930-2029.
QDateTime pivotYears(QDateTime dt, const QString& format)
{
    if (dt.isValid() && !format.contains(QLatin1String("yyyy")) && dt.date().year() < 1930)
        dt = dt.addYears(100);
    return dt;
}

} // namespace

namespace TextForms {

QDateTime NeverDate()
{
    return QDateTime(QDate(1980, 1, 1), QTime(0, 0));
}

QDateTime ZeroDate()
{
    return QDateTime(QDate(1899, 12, 30), QTime(0, 0));
}

QString dateText(const QDateTime& when, const QLocale& locale)
{
    const Formats& f = formatsFor(locale);
    if (when.time() == QTime(0, 0))
        return locale.toString(when.date(), f.date);
    return locale.toString(when, f.dateTime);
}

std::optional<QDateTime> parseDate(const QString& text, const QLocale& locale)
{
    const QString t = text.trimmed();
    if (t.isEmpty())
        return std::nullopt;
    const Formats& f = formatsFor(locale);
    for (const QString* format : {&f.dateTime, &f.shortDateTime}) {
        const QDateTime dt = pivotYears(locale.toDateTime(t, *format), *format);
        if (dt.isValid())
            return dt;
    }
    for (const QString* format : {&f.date, &f.shortDate}) {
        const QDate d = locale.toDate(t, *format);
        if (d.isValid())
            return pivotYears(QDateTime(d, QTime(0, 0)), *format);
    }
    return std::nullopt;
}

QString boolText(bool value)
{
    return value ? QStringLiteral("True") : QStringLiteral("False");
}

std::optional<bool> parseBool(const QString& text)
{
    const QString t = text.trimmed();
    if (t.compare(QLatin1String("True"), Qt::CaseInsensitive) == 0)
        return true;
    if (t.compare(QLatin1String("False"), Qt::CaseInsensitive) == 0)
        return false;
    bool ok = false;
    const double number = t.toDouble(&ok);
    if (ok)
        return number != 0.0;
    return std::nullopt;
}

int flagValue(const QString& text)
{
    bool ok = false;
    const double number = text.trimmed().toDouble(&ok);
    if (!ok || number < INT_MIN || number > INT_MAX)
        return 0;
    return int(number);
}

std::optional<quint8> parseByte(const QString& text)
{
    bool ok = false;
    const int number = text.trimmed().toInt(&ok);
    if (!ok || number < 0 || number > 255)
        return std::nullopt;
    return quint8(number);
}

} // namespace TextForms
