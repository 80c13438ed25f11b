#pragma once

#include <QPlainTextEdit>
#include <QString>

// logEdit: the debug log as the settings dialog shows it. The box holds the log's own text (lines ending in
// CR LF), every area's or one area's alone, and stays below Bound characters by dropping its oldest lines;
// after every line the caret sits at the end of the newest line, so that line is in view.
class LogTextBox final : public QPlainTextEdit
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(LogTextBox)

public:
    static constexpr qsizetype Bound = 16385;

    explicit LogTextBox(QWidget* parent = nullptr);

    // Adds one line as the debug log formed it (with its CR LF), when it is in the area shown.
    void appendLine(const QString& line);
    // Replaces the content with the newest whole lines of text in the area shown that fit below the bound.
    void showTail(const QString& text);
    // The area whose lines the box shows from now on ("kw.mail"); empty: every line. Lines already held stay
    // until the next showTail.
    void setArea(const QString& area) { m_area = area; }
    const QString& area() const { return m_area; }
    // Each line names its area ("[kw.sound]"): the box shows the area in words a user knows ("Sound:") and leaves
    // out a code name that starts the text ("WavePlayer:  OpenFile - "). The file on disk keeps both. A line of an
    // earlier release, without an area, is shown as it is. line is one line as the debug log formed it.
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

    bool shows(const QString& line) const;

    QString m_text;
    QString m_area;
};
