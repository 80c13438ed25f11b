#include "Skip.h"

namespace kwtest {

bool& skipped()
{
    static bool s = false;
    return s;
}

bool underCi()
{
    return qEnvironmentVariable("CI") == QLatin1String("true");
}

int finish(int rc)
{
    return (rc == 0 && skipped()) ? 77 : rc;
}

} // namespace kwtest
