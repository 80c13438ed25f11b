#include "settings/LogTextBox.h"

#include <QFontDatabase>
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

void LogTextBox::appendLine(const QString& line)
{
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

void LogTextBox::showTail(const QString& text)
{
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
