#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

// What the namespace-LAN test knows about its lab, and the small process helpers both halves share.
namespace netlab {

inline constexpr const char* kRouterIp = "198.18.0.1";
inline constexpr const char* kMonitorIp = "198.18.0.2";
inline constexpr const char* kMonitorMac = "0200c6120002"; // the tool's default for 198.18.0.2
inline constexpr const char* kDev1Ip = "198.18.0.10";
inline constexpr const char* kDev1Mac = "024b5700000a"; // chosen
inline constexpr const char* kDev2Ip = "198.18.0.11";
inline constexpr const char* kDev2Mac = "0200c612000b"; // the tool's default for 198.18.0.11
inline constexpr const char* kLabEnv = "KW_NETLAB_LAB";

struct Result
{
    int exitCode = -1;
    QString out;
    QString err;
};

QString scriptPath();
QString ipTool();
Result run(const QString& program, const QStringList& args, int timeoutMs = 60000);
Result runNetlab(const QStringList& args);

} // namespace netlab
