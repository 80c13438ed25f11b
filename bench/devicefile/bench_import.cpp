// Import figures: a JSON export of about 19 MB (1,000 devices, each with 200 stays) read back by the import, its
// time and how far it raised the process's peak memory; then the same file read whole into one QJsonDocument,
// as the import once did, for comparison. The import holds one device's text at a time and the checked devices.

#include "devicefile/DeviceExport.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QJsonDocument>
#include <QTemporaryDir>
#include <cstdio>
#include <sys/resource.h>

namespace {

double peakMb()
{
    rusage usage {};
    getrusage(RUSAGE_SELF, &usage);
    return double(usage.ru_maxrss) / 1024.0;
}

QString writeExport(const QString& file, int devices, int stays)
{
    QFile out(file);
    if (!out.open(QIODevice::WriteOnly))
        return {};
    out.write("{\"format\": \"kestrelwatch-devices\", \"version\": 1, \"devices\": [\n");
    const QDateTime start(QDate(2026, 6, 1), QTime(0, 0), Qt::UTC);
    for (int d = 0; d < devices; ++d) {
        QByteArray line = QStringLiteral("{\"mac\":\"02-00-00-00-%1-%2\",\"address\":\"198.18.%3.%4\",\"host_name\":"
                                         "\"host-%5\",\"name\":\"Device %5\",\"list\":\"safe\",\"new\":false,"
                                         "\"intervals\":[")
                              .arg(d >> 8, 2, 16, QLatin1Char('0'))
                              .arg(d & 0xFF, 2, 16, QLatin1Char('0'))
                              .arg(d >> 8)
                              .arg(d & 0xFF)
                              .arg(d)
                              .toUtf8();
        for (int s = 0; s < stays; ++s) {
            const QDateTime from = start.addSecs(qint64(s) * 43200);
            line += QStringLiteral("%1{\"address\":\"198.18.%2.%3\",\"from\":\"%4\",\"to\":\"%5\"}")
                        .arg(s ? "," : "")
                        .arg(d >> 8)
                        .arg(d & 0xFF)
                        .arg(from.toString(Qt::ISODate), from.addSecs(3600).toString(Qt::ISODate))
                        .toUtf8();
        }
        line += d + 1 < devices ? "]},\n" : "]}\n";
        out.write(line);
    }
    out.write("]}\n");
    return file;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QTemporaryDir dir;
    const QString file = writeExport(dir.filePath(QStringLiteral("devices.json")), 1000, 200);
    const double sizeMb = double(QFileInfo(file).size()) / 1e6;
    const double before = peakMb();
    QElapsedTimer timer;
    timer.start();
    qsizetype devices = 0;
    qsizetype intervals = 0;
    {
        QFile in(file);
        in.open(QIODevice::ReadOnly);
        const DeviceExport::Parsed parsed = DeviceExport::parse(in);
        devices = parsed.devices.size();
        for (const DeviceExport::Imported& d : parsed.devices)
            intervals += d.intervals.size();
        if (!parsed.fault.isEmpty())
            std::printf("refused: %s\n", qPrintable(parsed.fault));
    }
    const qint64 ms = timer.elapsed();
    const double streamed = peakMb() - before;
    std::printf("import of a %.1f MB JSON export (%lld devices, %lld intervals): %lld ms, peak memory +%.0f MB\n",
        sizeMb, qlonglong(devices), qlonglong(intervals), qlonglong(ms), streamed);
    const double beforeWhole = peakMb();
    {
        QFile in(file);
        in.open(QIODevice::ReadOnly);
        const QJsonDocument whole = QJsonDocument::fromJson(in.readAll());
        std::printf("the same file as one QJsonDocument: peak memory +%.0f MB more (%s)\n", peakMb() - beforeWhole,
            whole.isObject() ? "read" : "not read");
    }
    return 0;
}
