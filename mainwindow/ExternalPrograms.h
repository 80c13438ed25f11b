#pragma once

#include <QList>
#include <QString>
#include <QStringList>

// One entry of Programs.ini's [PROGRAMS] section: "Name=program,arguments", where the first "%1" of the
// arguments stands for the device's address.
struct ExternalProgram
{
    QString name;
    QString program;
    QString arguments;
    bool usable = true; // false when the value has no ",": the entry keeps its menu item but cannot start

    bool operator==(const ExternalProgram&) const = default;
};

namespace ExternalPrograms {

// Parses a section text (entries each followed by a zero character, as dbGetAllEntries gives it). Empty
// entries and entries without "=" are skipped and use up no index. A value without "," gives an unusable
// entry and a line in problems.
QList<ExternalProgram> parse(const QString& sectionText, QStringList* problems = nullptr);

// The arguments with their first "%1" replaced by the address (later ones stay as they are).
QString argumentsFor(const QString& arguments, const QString& ip);

// The argument list the program is started with: the arguments split as a command line is (quotes group,
// no shell expansion of any kind).
QStringList argumentList(const QString& arguments, const QString& ip);

} // namespace ExternalPrograms
