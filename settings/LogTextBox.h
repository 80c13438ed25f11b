#pragma once

#include <QPlainTextEdit>
#include <QString>

// logEdit: the debug log as the settings dialog shows it. The box holds the log's own text (lines ending in
// CR LF) and stays below Bound characters by dropping its oldest lines; after every line the caret sits at
// the end of the newest line, so that line is in view.
class LogTextBox final : public QPlainTextEdit
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(LogTextBox)

public:
    static constexpr qsizetype Bound = 16385;

    explicit LogTextBox(QWidget* parent = nullptr);

    // Adds one line as the debug log formed it (with its CR LF).
    void appendLine(const QString& line);
    // Replaces the content with the newest whole lines of text that fit below the bound.
    void showTail(const QString& text);
    // The debug log names the part of the program that wrote each line (WavePlayer, NetPlatform, loadStore):
    // the box shows that part in words a user knows ("Sound:", "Network:", "Settings:") or leaves a bare code
    // name out. The file on disk keeps the names. line is one line as the debug log formed it.
    static QString userWords(const QString& line);

    // The text as held (in user words), CR LF line ends included.
    const QString& logText() const { return m_text; }

    // How many leading characters of text go so that the rest stays below Bound: whole lines, oldest first;
    // a single line longer than the box keeps only its end.
    static qsizetype overflow(const QString& text);

protected:
    void showEvent(QShowEvent* event) override;

private:
    void placeCaret();

    QString m_text;
};
