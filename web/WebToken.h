#pragma once

#include <QByteArray>
#include <QString>

// The bearer token every change through the web page needs: made once from the system's random source, kept in
// "web-token" in the store's folder, readable by its owner only. kestrelwatch-ctl web-token prints it (--new
// replaces it; a running monitor takes the new one at its next start).
namespace WebToken {

QString fileIn(const QString& home);
// The token kept there, made first when there is none; empty with a reason when the file cannot be read or made.
QByteArray load(const QString& home, QString* problem = nullptr);
// A new token replaces the kept one.
QByteArray renew(const QString& home, QString* problem = nullptr);

} // namespace WebToken
