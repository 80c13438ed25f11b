#pragma once

#include <QList>
#include <QMap>
#include <QString>
#include <functional>
#include <map>

// The monitor's figures in the Prometheus text format. Counters only grow for the life of the process; gauges
// are read when a scrape asks. Families and label names are the program's own; a label value must be a short
// word of [a-z0-9_] (a list, a state, an event kind), so no device name or MAC can ever become one and the
// number of series stays bounded: add() refuses anything else with a log line.
class Metrics final
{
public:
    enum class Type { Counter, Gauge };
    using Labels = QList<std::pair<QString, QString>>;

    // One counter series, declared once: counting through it needs no lookup and no check of its labels, and
    // the series shows (at 0) from its declaration on. A refused series gives a handle that counts nothing.
    class Counter
    {
    public:
        Counter() = default;
        void add(double n = 1) const
        {
            if (m_value && n >= 0)
                *m_value += n;
        }
        bool valid() const { return m_value != nullptr; }

    private:
        friend class Metrics;
        explicit Counter(double* value)
            : m_value(value)
        { }
        double* m_value = nullptr;
    };

    // Declares a family once with its help text; a counter family's name ends in "_total".
    void declare(const QString& family, Type type, const QString& help);
    // The handle of a counter series of a declared counter family; labels as add() takes them.
    Counter counter(const QString& family, const Labels& labels = {});
    // Adds n to a counter series (declared first).
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
        std::map<QString, double> counters; // rendered label set -> value; std::map keeps a handle's place
        QList<std::pair<QString, std::function<double()>>> readings;
    };
    static QString labelText(const Labels& labels);

    QMap<QString, Family> m_families;
};
