#include "app/CommandLine.h"

#ifdef KW_WITH_DESKTOP
#include "mainwindow/Desktop.h"
#endif

int main(int argc, char** argv)
{
#ifdef KW_WITH_DESKTOP
    return kestrelwatchMain(argc, argv, &runDesktop);
#else
    return kestrelwatchMain(argc, argv, nullptr);
#endif
}
