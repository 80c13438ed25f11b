#pragma once

#include <QString>

namespace Ctl {

// web-token [--new]: prints the web page's token (made on first use, kept 0600 in the store's folder); --new
// replaces it, and a running monitor takes the new one at its next start.
int webToken(const QString& home, bool renew);

} // namespace Ctl
