#include "settings/LogTextBox.h"

#include "logging/DebugLog.h"
#include "platform/LogAreas.h"

#include <QFontDatabase>
#include <QRegularExpression>
#include <QTextCursor>

namespace {

// The document keeps a CR LF pair as one paragraph break and every other character as one position.
qsizetype documentLength(QStringView text)
{
    return text.size() - text.count(u"\r\n");
}

} // namespace

LogTextBox::LogTextBox(QWidget* parent)
    : QPlainTextEdit(parent)
{
    setReadOnly(true);
    setUndoRedoEnabled(false);
    // Long lines wrap, so the time stamps stay in view while the caret follows the newest line.
    setLineWrapMode(QPlainTextEdit::WidgetWidth);
    setWordWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    // Keeps the caret drawn in a read-only box, so the newest line is marked.
    setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
}

qsizetype LogTextBox::overflow(const QString& text)
{
    qsizetype cut = 0;
    while (text.size() - cut >= Bound) {
        const qsizetype lf = text.indexOf(QLatin1Char('\n'), cut);
        if (lf < 0 || lf + 1 >= text.size())
            return text.size() - (Bound - 1);
        cut = lf + 1;
    }
    return cut;
}

bool LogTextBox::shows(const QString& line) const
{
    return m_area.isEmpty() || DebugLog::areaOf(line) == m_area;
}

void LogTextBox::appendLine(const QString& logLine)
{
    if (!shows(logLine))
        return;
    const QString line = userWords(logLine);
    const qsizetype held = m_text.size();
    const bool wholeLines = held == 0 || m_text.endsWith(QLatin1Char('\n'));
    m_text += line;
    const qsizetype cut = overflow(m_text);
    const bool cutAtLine = cut == 0 || m_text.at(cut - 1) == QLatin1Char('\n');

    if (!wholeLines || !cutAtLine || cut > held) {
        // Only text without its line end, or a line about as long as the box, gets here: rebuild the view.
        m_text.remove(0, cut);
        setPlainText(m_text);
    } else {
        QTextCursor c(document());
        if (cut > 0) {
            c.setPosition(0);
            c.setPosition(int(documentLength(QStringView(m_text).left(cut))), QTextCursor::KeepAnchor);
            c.removeSelectedText();
            m_text.remove(0, cut);
        }
        c.movePosition(QTextCursor::End);
        c.insertText(line);
    }
    placeCaret();
}

void LogTextBox::showTail(const QString& log)
{
    QString text;
    for (const QString& line : log.split(QLatin1Char('\n'), Qt::SkipEmptyParts)) {
        if (shows(line))
            text += userWords(line) + QLatin1Char('\n');
    }
    if (!log.endsWith(QLatin1Char('\n')) && text.endsWith(QLatin1Char('\n')))
        text.chop(1);
    m_text = text.mid(overflow(text));
    setPlainText(m_text);
    placeCaret();
}

void LogTextBox::placeCaret()
{
    // Two characters before the end of the text: the end of the newest line, before its CR LF.
    const int end = document()->characterCount() - 1;
    const int back = m_text.endsWith(QLatin1String("\r\n")) ? 1 : 2;
    QTextCursor c = textCursor();
    c.setPosition(qMax(0, end - back));
    setTextCursor(c);
    ensureCursorVisible();
}

void LogTextBox::showEvent(QShowEvent* event)
{
    QPlainTextEdit::showEvent(event);
    // Lines that arrived while the dialog was hidden could not scroll the box; the newest comes into view now.
    ensureCursorVisible();
}

QString LogTextBox::userWords(const QString& line)
{
    // "<time> - [<area>] <text>".
    static const QRegularExpression inArea(QStringLiteral("^(.*? - )\\[(kw\\.[a-z]+)\\] "));
    const QRegularExpressionMatch m = inArea.match(line);
    if (!m.hasMatch())
        return line;
    const QString words = LogAreas::wordsOf(m.captured(2));
    QString text = line.mid(m.capturedEnd(0));
    // A code name, or two, that starts the text ("SmtpClient:  ", "SettingsDialog Form_Load - "); a plain word
    // (Gateway, Names) reads as it is.
    static const QRegularExpression tagged(
        QStringLiteral("^([A-Za-z_][A-Za-z0-9_]*)(?:(?::  | )[A-Za-z]*[A-Z_][A-Za-z0-9_]*)?(?: - |:  )"));
    static const QRegularExpression plainWord(QStringLiteral("^(?:[A-Z][a-z]+|[A-Z]+)$"));
    const QRegularExpressionMatch tag = tagged.match(text);
    if (tag.hasMatch() && !plainWord.match(tag.captured(1)).hasMatch())
        text.remove(0, tag.capturedEnd(0));
    return m.captured(1) + (words.isEmpty() ? QString() : words + QStringLiteral(": ")) + text;
}
