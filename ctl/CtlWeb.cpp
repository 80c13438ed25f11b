#include "ctl/CtlWeb.h"

#include "web/WebToken.h"

#include <cstdio>

namespace Ctl {

int webToken(const QString& home, bool renew)
{
    QString problem;
    const QByteArray token = renew ? WebToken::renew(home, &problem) : WebToken::load(home, &problem);
    if (token.isEmpty()) {
        std::fprintf(stderr, "kestrelwatch-ctl: %s\n", problem.toLocal8Bit().constData());
        return 1;
    }
    std::printf("%s\n", token.constData());
    if (renew)
        std::fputs("A running monitor takes the new token when it starts again.\n", stderr);
    return 0;
}

} // namespace Ctl
