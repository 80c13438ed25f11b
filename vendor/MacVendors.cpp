#include "vendor/MacVendors.h"

#include "store/MacAddress.h"

#include "platform/DebugSink.h"

#include <QDir>

namespace {
// The blocks of the IAB registry all live under this OUI; its addresses are named by the IAB files alone.
constexpr QStringView IabOui = u"0050C2";

bool isUpperHex(QChar c)
{
    return (c >= u'0' && c <= u'9') || (c >= u'A' && c <= u'F');
}

// byteCount bytes of two upper-case hexadecimal digits joined by "-", and nothing else.
bool isSystemForm(QStringView text, qsizetype byteCount)
{
    if (text.size() != 3 * byteCount - 1)
        return false;
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (i % 3 == 2 ? text[i] != u'-' : !isUpperHex(text[i]))
            return false;
    }
    return true;
}
} // namespace

MacVendors::MacVendors(const QString& folder)
    : m_oui(6)
    , m_iab(3)
    , m_mam(7)
    , m_mas(9)
{
    const QDir dir(folder);
    QStringList problems;
    for (auto [table, base] : {std::pair {&m_oui, "oui"}, {&m_iab, "iab"}, {&m_mam, "mam"}, {&m_mas, "mas"}}) {
        const QString name = QString::fromLatin1(base);
        problems +=
            table->load(dir.filePath(name + QStringLiteral(".idx")), dir.filePath(name + QStringLiteral(".db")));
    }
    for (const QString& problem : std::as_const(problems))
        Log(kwStore, QStringLiteral("MacVendors ") + problem);
}

QString MacVendors::PrivateAddressName()
{
    return QStringLiteral("Private address (randomised by the device)");
}

bool MacVendors::isPrivateMac(QStringView mac)
{
    return (isSystemForm(mac, 6) || isSystemForm(mac, 3)) && MacAddress::isLocallyAdministered(mac);
}

QString MacVendors::GetMacName(const QString& mac) const
{
    if (isPrivateMac(mac))
        return PrivateAddressName();

    // Characters 1-2, 4-5 and 7-8 of the text: the first three bytes without their dashes. A short or odd text
    // simply gives a shorter key, which the search treats like any other.
    const QStringView text(mac);
    QString key;
    key.reserve(6);
    key.append(text.mid(0, 2)).append(text.mid(3, 2)).append(text.mid(6, 2));

    // A whole address is looked up by its longest registered prefix: a 36-bit block, then a 28-bit one.
    if (isSystemForm(text, 6)) {
        QString name = m_mas.lookup(QString(key).append(text.mid(9, 2)).append(text.mid(12, 1)));
        if (name.isEmpty())
            name = m_mam.lookup(QString(key).append(text.mid(9, 1)));
        if (!name.isEmpty())
            return name;
    }
    if (key != IabOui)
        return m_oui.lookup(key);

    // The fourth byte and the high nibble of the fifth pick the block.
    QString iabKey;
    iabKey.reserve(3);
    iabKey.append(text.mid(9, 2)).append(text.mid(12, 1));
    return m_iab.lookup(iabKey);
}
