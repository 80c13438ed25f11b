#include "store/DeviceText.h"

namespace {

constexpr qsizetype kMaxNotes = 1024;

QString refusedCategory(QChar::Category category)
{
    switch (category) {
    case QChar::Other_Control:
        return QStringLiteral("a control character");
    case QChar::Other_Format:
        return QStringLiteral("a format character");
    case QChar::Separator_Line:
        return QStringLiteral("a line separator");
    case QChar::Separator_Paragraph:
        return QStringLiteral("a paragraph separator");
    case QChar::Other_PrivateUse:
        return QStringLiteral("a private-use character");
    case QChar::Other_Surrogate:
        return QStringLiteral("a lone surrogate");
    case QChar::Other_NotAssigned:
        return QStringLiteral("an unassigned character");
    default:
        return {};
    }
}

} // namespace

namespace DeviceText {

Name filterText(const QString& raw, qsizetype maxChars);

Name filterName(const QString& raw)
{
    return filterText(raw, MaxNameChars);
}

Name filterNote(const QString& raw)
{
    return filterText(raw, MaxNoteChars);
}

Name filterText(const QString& raw, qsizetype maxChars)
{
    qsizetype chars = 0;
    for (qsizetype i = 0; i < raw.size(); ++i, ++chars) {
        char32_t c = raw[i].unicode();
        if (raw[i].isHighSurrogate() && i + 1 < raw.size() && raw[i + 1].isLowSurrogate()) {
            c = QChar::surrogateToUcs4(raw[i], raw[i + 1]);
            ++i;
        }
        const QString why = refusedCategory(QChar::category(c));
        if (!why.isEmpty())
            return {{},
                QStringLiteral("holds U+%1, %2")
                    .arg(QString::number(uint(c), 16).toUpper().rightJustified(4, QLatin1Char('0')), why)};
    }
    if (chars > maxChars)
        return {{}, QStringLiteral("is longer than %1 characters").arg(maxChars)};
    return {raw, {}};
}

bool RefusalNotes::firstTime(const QString& key)
{
    if (m_seen.contains(key))
        return false;
    if (m_seen.size() >= kMaxNotes)
        m_seen.clear();
    m_seen.insert(key);
    return true;
}

} // namespace DeviceText
