#include "store/TextForms.h"

#include <memory>
#include <vector>

namespace {

// Removes every unquoted run of 't' (the zone field) and the blanks before it.
QString withoutZone(const QString& format)
{
    QString out;
    bool quoted = false;
    for (auto c : format) {
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

// A numeric date/time format compiled once, so that reading the thousands of dates of a large store does
// not go through the general parser each time. Formats with month names or non-ASCII digits are not
// compiled; they fall back to QLocale.
struct Token
{
    enum Kind { Literal, Day, Month, Year2, Year4, Hour24, Hour12, Minute, Second, AmPm } kind = Literal;
    QString literal;
};

std::optional<QList<Token>> compile(const QString& format)
{
    QList<Token> tokens;
    for (qsizetype i = 0; i < format.size();) {
        const QChar c = format.at(i);
        qsizetype run = 1;
        while (i + run < format.size() && format.at(i + run) == c)
            ++run;
        Token t;
        const char ch = c.toLatin1();
        if (ch == '\'') {
            const qsizetype close = format.indexOf(QLatin1Char('\''), i + 1);
            if (close < 0)
                return std::nullopt;
            t.literal = format.mid(i + 1, close - i - 1);
            tokens.append(t);
            i = close + 1;
            continue;
        }
        switch (ch) {
        case 'd':
            t.kind = Token::Day;
            break;
        case 'M':
            t.kind = Token::Month;
            break;
        case 'y':
            t.kind = run == 4 ? Token::Year4 : Token::Year2;
            break;
        case 'H':
            t.kind = Token::Hour24;
            break;
        case 'h':
            t.kind = Token::Hour12;
            break;
        case 'm':
            t.kind = Token::Minute;
            break;
        case 's':
            t.kind = Token::Second;
            break;
        case 'A':
        case 'a':
            t.kind = Token::AmPm;
            break;
        case 'P':
        case 'p':
            if (!tokens.isEmpty() && tokens.last().kind == Token::AmPm) {
                i += run;
                continue;
            }
            return std::nullopt;
        default:
            if (c.isLetter())
                return std::nullopt;
            t.literal = format.mid(i, run);
        }
        if ((t.kind == Token::Day || t.kind == Token::Month) && run > 2)
            return std::nullopt; // names of days and months
        if (t.kind == Token::Year2 && run != 2)
            return std::nullopt;
        tokens.append(t);
        i += run;
    }
    return tokens;
}

std::optional<QDateTime> parseCompiled(QStringView text, const QList<Token>& tokens, const QLocale& locale)
{
    int day = 0;
    int month = 0;
    int year = 0;
    int hour = 0;
    int minute = 0;
    int second = 0;
    int ampm = -1;
    bool twelve = false;
    qsizetype pos = 0;
    for (const Token& t : tokens) {
        if (t.kind == Token::Literal) {
            if (!text.mid(pos).startsWith(t.literal))
                return std::nullopt;
            pos += t.literal.size();
            continue;
        }
        if (t.kind == Token::AmPm) {
            const QStringView rest = text.mid(pos);
            const QString am = locale.amText();
            const QString pm = locale.pmText();
            if (!am.isEmpty() && rest.startsWith(am, Qt::CaseInsensitive)) {
                ampm = 0;
                pos += am.size();
            } else if (!pm.isEmpty() && rest.startsWith(pm, Qt::CaseInsensitive)) {
                ampm = 1;
                pos += pm.size();
            } else {
                return std::nullopt;
            }
            continue;
        }
        const int maxDigits = t.kind == Token::Year4 ? 4 : 2;
        int value = 0;
        int digits = 0;
        while (pos < text.size() && digits < maxDigits && text.at(pos).isDigit() && text.at(pos).unicode() < 128) {
            value = value * 10 + (text.at(pos).unicode() - '0');
            ++pos;
            ++digits;
        }
        if (digits == 0 || (t.kind == Token::Year4 && digits != 4) || (t.kind == Token::Year2 && digits != 2))
            return std::nullopt;
        switch (t.kind) {
        case Token::Day:
            day = value;
            break;
        case Token::Month:
            month = value;
            break;
        case Token::Year2:
            year = value < 30 ? 2000 + value : 1900 + value;
            break;
        case Token::Year4:
            year = value;
            break;
        case Token::Hour24:
            hour = value;
            break;
        case Token::Hour12:
            hour = value;
            twelve = true;
            break;
        case Token::Minute:
            minute = value;
            break;
        case Token::Second:
            second = value;
            break;
        default:
            break;
        }
    }
    if (pos != text.size())
        return std::nullopt;
    if (twelve) {
        if (hour < 1 || hour > 12 || ampm < 0)
            return std::nullopt;
        hour = hour % 12 + (ampm == 1 ? 12 : 0);
    }
    const QDate date(year, month, day);
    const QTime time(hour, minute, second);
    if (!date.isValid() || !time.isValid())
        return std::nullopt;
    return QDateTime(date, time);
}

struct Formats
{
    QString date; // four-digit year
    QString shortDate; // the locale's own
    QString time; // long time without zone
    QString dateTime; // date + " " + time
    QString shortDateTime;
    // Compiled forms, tried in this order; empty when the locale needs the general parser.
    QList<QList<Token>> compiled;
};

const Formats& formatsFor(const QLocale& locale)
{
    // QLocale compares cheaply; building the format texts does not, so each locale's forms are kept.
    static std::vector<std::pair<QLocale, std::unique_ptr<Formats>>> cache;
    for (const auto& [known, formats] : cache) {
        if (known == locale)
            return *formats;
    }
    Formats f;
    f.shortDate = locale.dateFormat(QLocale::ShortFormat);
    f.date = fourDigitYear(f.shortDate);
    f.time = withoutZone(locale.timeFormat(QLocale::LongFormat));
    f.dateTime = f.date + QLatin1Char(' ') + f.time;
    f.shortDateTime = f.shortDate + QLatin1Char(' ') + f.time;
    if (locale.zeroDigit() == QLatin1Char('0')) {
        for (const QString* format : {&f.dateTime, &f.shortDateTime, &f.date, &f.shortDate}) {
            const auto tokens = compile(*format);
            if (!tokens) {
                f.compiled.clear();
                break;
            }
            f.compiled.append(*tokens);
        }
    }
    cache.emplace_back(locale, std::make_unique<Formats>(std::move(f)));
    return *cache.back().second;
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
    return {QDate(1980, 1, 1), QTime(0, 0)};
}

QDateTime ZeroDate()
{
    return {QDate(1899, 12, 30), QTime(0, 0)};
}

QString dateText(const QDateTime& when, const QLocale& locale)
{
    const Formats& f = formatsFor(locale);
    if (when.time() == QTime(0, 0))
        return locale.toString(when.date(), f.date);
    return locale.toString(when, f.dateTime);
}

// Only years whose written four-digit form reads back: 1 to 9999.
static std::optional<QDateTime> inWrittenRange(const QDateTime& dt)
{
    const int year = dt.date().year();
    if (year < 1 || year > 9999)
        return std::nullopt;
    return dt;
}

std::optional<QDateTime> parseDate(const QString& text, const QLocale& locale)
{
    const QString t = text.trimmed();
    if (t.isEmpty())
        return std::nullopt;
    const Formats& f = formatsFor(locale);
    if (!f.compiled.isEmpty()) {
        for (const QList<Token>& tokens : f.compiled) {
            if (const auto dt = parseCompiled(t, tokens, locale))
                return dt;
        }
        return std::nullopt;
    }
    for (const QString* format : {&f.dateTime, &f.shortDateTime}) {
        const QDateTime dt = pivotYears(locale.toDateTime(t, *format), *format);
        if (dt.isValid())
            return inWrittenRange(dt);
    }
    for (const QString* format : {&f.date, &f.shortDate}) {
        const QDate d = locale.toDate(t, *format);
        if (d.isValid())
            return inWrittenRange(pivotYears(QDateTime(d, QTime(0, 0)), *format));
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
    // Written so that NaN, which compares false with everything, is refused too.
    if (!ok || !(number >= INT_MIN && number <= INT_MAX))
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

std::optional<QDateTime> parseDateAnyLocale(const QString& text)
{
    for (const QLocale& locale : {QLocale(), QLocale::c(), QLocale(QLocale::English, QLocale::UnitedStates)}) {
        if (const auto when = parseDate(text, locale))
            return when;
    }
    return std::nullopt;
}

QString storedDate(const QDateTime& when)
{
    // ISO 8601 offsets are whole minutes; a zone's old local mean time (Berlin's +00:53:28 before 1893) is not.
    const int offset = when.offsetFromUtc();
    return (offset % 60 == 0 ? when.toOffsetFromUtc(offset) : when.toUTC()).toString(Qt::ISODate);
}

std::optional<StoredDate> parseStoredDate(const QString& text)
{
    const QString t = text.trimmed();
    if (t.contains(QLatin1Char('T'))) {
        const QDateTime iso = QDateTime::fromString(t, Qt::ISODate);
        if (!iso.isValid())
            return std::nullopt;
        // The store keeps whole seconds; a fraction that a hand edit or another program wrote is dropped
        // here, so the date reads back the same after the next write.
        const QDateTime local = iso.toLocalTime();
        return StoredDate {local.addMSecs(-local.time().msec()), false};
    }
    auto old = parseDateAnyLocale(t);
    if (!old)
        return std::nullopt;
    // The same wall time an hour earlier is the first occurrence of a repeated hour.
    const QDateTime earlier = old->addSecs(-3600);
    if (earlier.date() == old->date() && earlier.time() == old->time())
        old = earlier;
    return StoredDate {*old, true};
}

} // namespace TextForms
