#include "settings/LogTextBox.h"

#include <QFontDatabase>
#include <QRegularExpression>
#include <QTextCursor>

namespace {

struct Area
{
    const char* tag;
    const char* words;
};

// The parts of the program that write most lines, by the first name of their tag.
constexpr Area kAreas[] = {
    {"WavePlayer", "Sound"},
    {"NetPlatform", "Network"},
    {"AddNetwork", "Network"},
    {"SetupForNewScan", "Network"},
    {"HeardArp", "Network"},
    {"SmtpClient", "Mail"},
    {"emailTechnicalSupportClicked", "Mail"},
    {"SettingsDialog", "Settings"},
    {"loadStore", "Settings"},
    {"IniFile", "Settings"},
    {"Hive", "Store"},
    {"Save_Log", "Device history"},
    {"AddLogEntry", "Device history"},
    {"historyExcerpt", "Device history"},
    {"Load", "Start-up"},
    {"claimInstance", "Start-up"},
    {"Shutdown", "Shut-down"},
    {"watchShutdownSignals", "Shut-down"},
    {"openPage", "Help pages"},
    {"programsAction", "Device menus"},
    {"Load_ExternalProgs", "Device menus"},
    {"DeviceNameReply", "Names"},
    {"AddNewMacEntry", "New devices"},
};

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

void LogTextBox::appendLine(const QString& logLine)
{
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
    for (const QString& line : log.split(QLatin1Char('\n'), Qt::SkipEmptyParts))
        text += userWords(line) + QLatin1Char('\n');
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
    // "<time> - <tag> - text" or "<time> - <tag>:  text", the tag one or two code names.
    static const QRegularExpression tagged(
        QStringLiteral("^(.*? - )([A-Za-z_][A-Za-z0-9_]*)(?:(?::  | )[A-Za-z]*[A-Z_][A-Za-z0-9_]*)?(?: - |:  )"));
    const QRegularExpressionMatch m = tagged.match(line);
    if (!m.hasMatch())
        return line;
    const QString tag = m.captured(2);
    QString words;
    for (const Area& area : kAreas) {
        if (tag == QLatin1String(area.tag))
            words = QLatin1String(area.words) + QStringLiteral(": ");
    }
    // A plain word (Gateway, Names, MQTT, Alerts) reads as it is; another code name is left out.
    static const QRegularExpression plainWord(QStringLiteral("^(?:[A-Z][a-z]+|[A-Z]+)$"));
    if (words.isEmpty() && plainWord.match(tag).hasMatch())
        words = tag + QStringLiteral(": ");
    return m.captured(1) + words + line.mid(m.capturedEnd(0));
}
