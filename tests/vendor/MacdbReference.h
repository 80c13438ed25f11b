#pragma once

#include <QByteArray>
#include <QFile>
#include <QString>
#include <QStringList>
#include <cmath>

// The vendor lookup written the plain way, straight from its description: a substring search in the whole
// index text and a rounded division of the 1-based position. The fast lookup must agree with it on every key.
class MacdbReference final
{
public:
    explicit MacdbReference(const QString& folder)
    {
        m_ouiIndex = readText(folder + QStringLiteral("/oui.idx"));
        m_ouiNames = readText(folder + QStringLiteral("/oui.db")).split(QStringLiteral("\r\n"));
        m_iabIndex = readText(folder + QStringLiteral("/iab.idx"));
        m_iabNames = readText(folder + QStringLiteral("/iab.db")).split(QStringLiteral("\r\n"));
    }

    QString GetMacName(const QString& mac) const
    {
        const QString key = mac.mid(0, 2) + mac.mid(3, 2) + mac.mid(6, 2);
        if (key != QLatin1String("0050C2"))
            return pick(m_ouiIndex, m_ouiNames, key, 8);
        return pick(m_iabIndex, m_iabNames, mac.mid(9, 2) + mac.mid(12, 1), 5);
    }

    const QString& ouiIndex() const { return m_ouiIndex; }
    const QString& iabIndex() const { return m_iabIndex; }

private:
    static QString readText(const QString& file)
    {
        QFile f(file);
        return f.open(QIODevice::ReadOnly) ? QString::fromUtf8(f.readAll()) : QString();
    }

    static QString pick(const QString& index, const QStringList& names, const QString& key, int recordSize)
    {
        const qsizetype position = index.isEmpty() ? 0 : index.indexOf(key) + 1;
        // nearbyint in the default rounding mode sends halves to the even neighbour.
        const auto record = static_cast<qsizetype>(std::nearbyint(double(position) / recordSize));
        if (record <= 0 || record >= names.size())
            return {};
        return names.at(record);
    }

    QString m_ouiIndex;
    QStringList m_ouiNames;
    QString m_iabIndex;
    QStringList m_iabNames;
};
