#pragma once

#include "Lab.h"

// What the namespace-LAN test knows about its lab; both halves run programs through the shared runner.
namespace netlab {

inline constexpr const char* kRouterIp = "198.18.0.1";
inline constexpr const char* kMonitorIp = "198.18.0.2";
inline constexpr const char* kMonitorMac = "0200c6120002"; // the tool's default for 198.18.0.2
inline constexpr const char* kDev1Ip = "198.18.0.10";
inline constexpr const char* kDev1Mac = "024b5700000a"; // chosen
inline constexpr const char* kDev2Ip = "198.18.0.11";
inline constexpr const char* kDev2Mac = "0200c612000b"; // the tool's default for 198.18.0.11
inline constexpr const char* kLabEnv = "KW_NETLAB_LAB";

using kwtest::run;
inline QString scriptPath()
{
    return kwtest::netlabScript();
}
inline QString ipTool()
{
    return QStringLiteral("ip");
}
inline kwtest::Run runNetlab(const QStringList& args)
{
    return run(scriptPath(), args);
}

} // namespace netlab
