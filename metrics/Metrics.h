#pragma once

#include <QList>
#include <QMap>
#include <QString>
#include <functional>

// The monitor's figures in the Prometheus text format. Counters only grow for the life of the process; gauges
// are read when a scrape asks. Families and label names are the program's own; a label value must be a short
// word of [a-z0-9_] (a list, a state, an event kind), so no device name or MAC can ever become one and the
// number of series stays bounded: add() refuses anything else with a log line.
class Metrics final
{
public:
    enum class Type { Counter, Gauge };
    using Labels = QList<std::pair<QString, QString>>;

    // Declares a family once with its help text; a counter family's name ends in "_total".
    void declare(const QString& family, Type type, const QString& help);
    // Adds n to a counter series (declared first); the seam every part of the monitor counts through.
    bool add(const QString& family, const Labels& labels = {}, double n = 1);
    // A series whose value is read at each scrape: a gauge, or a counter kept elsewhere.
    void read(const QString& family, const Labels& labels, std::function<double()> read);
    double value(const QString& family, const Labels& labels = {}) const;

    // The exposition text (text/plain; version=0.0.4).
    QByteArray render() const;

    static bool validLabelValue(const QString& value);

private:
    struct Family
    {
        Type type = Type::Counter;
        QString help;
        QMap<QString, double> counters; // rendered label set -> value
        QList<std::pair<QString, std::function<double()>>> readings;
    };
    static QString labelText(const Labels& labels);

    QMap<QString, Family> m_families;
};
