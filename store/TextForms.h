#pragma once

#include <QDateTime>
#include <QLocale>
#include <QString>
#include <optional>

// The text forms of stored values.
//
// A date is stored as ISO 8601 with its offset ("2026-12-07T04:15:12+01:00"). Stores of earlier releases hold
// locale text, read here once and rewritten: the locale's short date format with the year widened to four digits, a
// blank and the locale's long time format without its time-zone field; a date at exactly midnight is the date alone.
// Reading accepts that form and the locale's own two-digit-year form, taking those years as 1930-2029.
namespace TextForms {

// 1 January 1980 00:00:00: "never" or "unknown".
QDateTime NeverDate();
// The empty date (OLE date value 0, 30 December 1899): what a date field holds when nothing was loaded.
QDateTime ZeroDate();

QString dateText(const QDateTime& when, const QLocale& locale = QLocale());
std::optional<QDateTime> parseDate(const QString& text, const QLocale& locale = QLocale());
// parseDate in the default locale, else in the C and US English ones: the store of a service started in the C
// locale read from a user's shell, and the other way round.
std::optional<QDateTime> parseDateAnyLocale(const QString& text);

// A date as the store keeps it: ISO 8601 with the offset it had.
QString storedDate(const QDateTime& when);
struct StoredDate
{
    QDateTime when;
    bool oldForm = false; // locale text of an earlier release, to be rewritten
};
// ISO 8601 first, then the locale text of an earlier release. Locale text names no offset, so the repeated
// hour of an autumn night reads as its first occurrence, the same every time.
std::optional<StoredDate> parseStoredDate(const QString& text);

// "True" / "False"; reading also takes numeric text ("0" is false, any other number true).
QString boolText(bool value);
std::optional<bool> parseBool(const QString& text);

// A settings flag: numeric text, anything else reads as 0.
int flagValue(const QString& text);
std::optional<quint8> parseByte(const QString& text);

} // namespace TextForms
