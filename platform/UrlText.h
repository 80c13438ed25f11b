#pragma once

#include <QString>
#include <QUrl>

// The one form a URL takes in a log line: scheme, host and port ("https://ntfy.example:443"). The rest may be a
// secret (user and password, a token in the query, an ntfy topic in the path) and the debug log can be mailed.
namespace UrlText {

QString origin(const QUrl& url);
// A URL as the user typed it; "(no URL)" when it is none.
QString origin(const QString& text);

} // namespace UrlText
