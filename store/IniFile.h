#pragma once

#include <QString>

// INI files read a whole section at a time. A section text holds the section's "key=value" entries in file
// order, each followed by one zero character; blank lines and comments (';' or '#') are left out. A missing
// file or section gives the empty text.
namespace IniFile {

QString dbGetAllEntries(const QString& section, const QString& file);

// Looks key + "=" up in one of the five Config.ini sections held in memory ("IP", "GENERAL", "NETWORK",
// "CLIENT", "MAC"); any other section name is logged and gives the default.
QString dbGetEntry(const QString& section, const QString& key, const QString& defaultText);

// Reads the five Config.ini sections into memory (start-up does this once).
void loadConfigSections(const QString& configIni);
void clearConfigSections();

} // namespace IniFile
