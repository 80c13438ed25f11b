#include "platform/FileMask.h"

#include <sys/stat.h>

namespace {
mode_t g_userMask = 022;
bool g_private = false;
} // namespace

void FileMask::makePrivate()
{
    const mode_t before = ::umask(077);
    if (!g_private)
        g_userMask = before;
    g_private = true;
}

bool FileMask::withUserMask(const std::function<bool()>& fn)
{
    // One thread: nothing else creates a file while the user's mask is in force.
    if (!g_private)
        return fn();
    ::umask(g_userMask);
    const bool result = fn();
    ::umask(077);
    return result;
}
