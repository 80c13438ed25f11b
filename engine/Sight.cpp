#include "engine/Sight.h"

#include "engine/AddressText.h"
#include "platform/NetPlatform.h"

#include <cstdlib>

QString Sight::keyOf(quint32 ip, int prefix)
{
    // The sweep takes a range wider than a /16 as the /16 around the address; so does its key.
    prefix = std::max(prefix, 16);
    const quint32 kept = prefix >= 32 ? ~quint32(0) : ~(~quint32(0) >> prefix);
    return AddressText::ipText(ip & kept) + QLatin1Char('/') + QString::number(prefix);
}

QString Sight::keyOf(const ScanRange& range)
{
    return keyOf(range.first, range.prefix);
}

Sight::Views Sight::viewsOf(const QList<AdapterInfo>& adapters)
{
    Views views;
    for (const AdapterInfo& adapter : adapters) {
        for (const AdapterAddress& a : adapter.addresses) {
            const auto ip = AddressText::parseIPv4(a.ip);
            const auto mask = AddressText::parseIPv4(a.mask);
            if (!ip || !mask || AddressText::toNumber(*ip) == 0)
                continue;
            int prefix = 0;
            while (prefix < 32 && (AddressText::toNumber(*mask) & (0x80000000U >> prefix)) != 0)
                ++prefix;
            QString& signature = views[keyOf(AddressText::toNumber(*ip), prefix)];
            signature += QString::number(adapter.index) + QLatin1Char(' ') + a.ip + QLatin1Char(';');
        }
    }
    return views;
}

bool Sight::clocksSaySlept(const QDateTime& wall, qint64 monotonicMs)
{
    const bool first = !m_lastWall.isValid();
    const qint64 wallMs = first ? 0 : m_lastWall.msecsTo(wall);
    const qint64 monoMs = monotonicMs - m_lastMonotonic;
    const bool slept = !first && (monoMs > LateLookMs || std::llabs(wallMs - monoMs) > ClockJumpMs);
    if (slept)
        this->slept(m_lastWall);
    m_lastWall = wall;
    m_lastMonotonic = monotonicMs;
    return slept;
}

void Sight::slept(const QDateTime& lastAwake)
{
    m_broken = true;
    m_waking = WakingCycles;
    if (!m_blindSince.isValid())
        m_blindSince = lastAwake;
}

void Sight::systemSleeping(bool sleeping, const QDateTime& now)
{
    if (sleeping)
        slept(now);
    m_asleep = sleeping;
    settle(now);
}

void Sight::cycleStarted(const Views& views, const QDateTime& now)
{
    // A view on other adapters or addresses than at the last verdict was lost in between, however briefly.
    m_startViews.clear();
    for (auto it = views.cbegin(); it != views.cend(); ++it) {
        const auto before = m_judgedViews.constFind(it.key());
        if (before == m_judgedViews.cend() || *before == it.value())
            m_startViews.insert(it.key(), it.value());
    }
    m_broken = false;
    m_connected = !views.isEmpty();
    settle(now);
}

QSet<QString> Sight::cycleJudged(const Views& views, const QDateTime& now)
{
    QSet<QString> inSight;
    if (!m_broken) {
        for (auto it = views.cbegin(); it != views.cend(); ++it) {
            if (m_startViews.value(it.key()) == it.value())
                inSight.insert(it.key());
        }
    }
    m_judgedViews = views;
    // Connected again only when a cycle starts on the views: until then nothing of them is swept.
    m_connected = m_connected && !views.isEmpty();
    if (m_waking > 0 && !inSight.isEmpty())
        --m_waking;
    settle(now);
    return inSight;
}

Sight::State Sight::state() const
{
    if (m_asleep || m_waking > 0)
        return State::WakingUp;
    return m_connected ? State::Watching : State::NotConnected;
}

QString Sight::stateText(State state)
{
    switch (state) {
    case State::NotConnected:
        return QStringLiteral("Not connected to a network");
    case State::WakingUp:
        return QStringLiteral("Waking up\u2026");
    case State::Watching:
        break;
    }
    return {};
}

void Sight::settle(const QDateTime& when)
{
    const bool blind = state() != State::Watching;
    if (blind && !m_blindSince.isValid()) {
        m_blindSince = when;
    } else if (!blind && m_blindSince.isValid()) {
        m_blindMs += std::max<qint64>(m_blindSince.msecsTo(when), 0);
        m_blindSince = {};
    }
}

qint64 Sight::blindSeconds(const QDateTime& now) const
{
    qint64 ms = m_blindMs;
    if (m_blindSince.isValid())
        ms += std::max<qint64>(m_blindSince.msecsTo(now), 0);
    return ms / 1000;
}
