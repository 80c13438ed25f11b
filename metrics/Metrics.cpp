#include "metrics/Metrics.h"

#include "platform/DebugSink.h"

#include <QRegularExpression>

bool Metrics::validLabelValue(const QString& value)
{
    static const QRegularExpression word(QStringLiteral("^[a-z0-9_]{1,32}$"));
    return word.match(value).hasMatch();
}

QString Metrics::labelText(const Labels& labels)
{
    if (labels.isEmpty())
        return {};
    QStringList parts;
    for (const auto& [name, value] : labels)
        parts << QStringLiteral("%1=\"%2\"").arg(name, value);
    return QLatin1Char('{') + parts.join(QLatin1Char(',')) + QLatin1Char('}');
}

void Metrics::declare(const QString& family, Type type, const QString& help)
{
    Family& f = m_families[family];
    f.type = type;
    f.help = help;
}

Metrics::Counter Metrics::counter(const QString& family, const Labels& labels)
{
    const auto f = m_families.find(family);
    bool ok = f != m_families.end() && f->type == Type::Counter;
    for (const auto& [name, value] : labels)
        ok = ok && validLabelValue(name) && validLabelValue(value);
    if (!ok) {
        Log(kwWeb, QStringLiteral("Metrics - refused the series %1%2").arg(family, labelText(labels)));
        return {};
    }
    return Counter(&f->counters[labelText(labels)]);
}

bool Metrics::add(const QString& family, const Labels& labels, double n)
{
    Counter series = counter(family, labels);
    if (!series.valid() || n < 0)
        return false;
    series.add(n);
    return true;
}

void Metrics::read(const QString& family, const Labels& labels, std::function<double()> read)
{
    m_families[family].readings.append({labelText(labels), std::move(read)});
}

double Metrics::value(const QString& family, const Labels& labels) const
{
    const auto f = m_families.constFind(family);
    if (f == m_families.cend())
        return 0;
    const QString key = labelText(labels);
    for (const auto& [text, read] : f->readings) {
        if (text == key)
            return read();
    }
    const auto c = f->counters.find(key);
    return c == f->counters.end() ? 0 : c->second;
}

QByteArray Metrics::render() const
{
    QByteArray out;
    for (auto f = m_families.cbegin(); f != m_families.cend(); ++f) {
        const QByteArray name = f.key().toLatin1();
        out += "# HELP " + name + ' ' + f->help.toUtf8() + '\n';
        out += "# TYPE " + name + (f->type == Type::Counter ? " counter\n" : " gauge\n");
        for (const auto& [labels, value] : f->counters)
            out += name + labels.toLatin1() + ' ' + QByteArray::number(value, 'g', 15) + '\n';
        for (const auto& [labels, read] : f->readings)
            out += name + labels.toLatin1() + ' ' + QByteArray::number(read(), 'g', 15) + '\n';
    }
    return out;
}
