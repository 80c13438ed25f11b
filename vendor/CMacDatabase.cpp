#include "vendor/CMacDatabase.h"

#include "platform/DebugSink.h"

#include <QDir>

namespace {
// The blocks of the IAB registry all live under this OUI; its addresses are named by the IAB files alone.
constexpr QStringView IabOui = u"0050C2";
} // namespace

CMacDatabase::CMacDatabase(const QString& folder)
    : m_oui(6)
    , m_iab(3)
{
    const QDir dir(folder);
    QStringList problems = m_oui.load(dir.filePath(QStringLiteral("oui.idx")), dir.filePath(QStringLiteral("oui.db")));
    problems += m_iab.load(dir.filePath(QStringLiteral("iab.idx")), dir.filePath(QStringLiteral("iab.db")));
    for (const QString& problem : std::as_const(problems))
        Log(QStringLiteral("CMacDatabase ") + problem);
}

QString CMacDatabase::GetMacName(const QString& mac) const
{
    // Characters 1-2, 4-5 and 7-8 of the text: the first three bytes without their dashes. A short or odd text
    // simply gives a shorter key, which the search treats like any other.
    const QStringView text(mac);
    QString key;
    key.reserve(6);
    key.append(text.mid(0, 2)).append(text.mid(3, 2)).append(text.mid(6, 2));
    if (key != IabOui)
        return m_oui.lookup(key);

    // The fourth byte and the high nibble of the fifth pick the block.
    QString iabKey;
    iabKey.reserve(3);
    iabKey.append(text.mid(9, 2)).append(text.mid(12, 1));
    return m_iab.lookup(iabKey);
}
