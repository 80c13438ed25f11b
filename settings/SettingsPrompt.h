#pragma once

#include <QString>

class QWidget;

// The dialog's questions and notices. The desktop uses message boxes; tests answer with a script, so that
// no modal box ever waits for a click.
class SettingsPrompt
{
public:
    static inline const QString Title = QStringLiteral("Kestrelwatch");

    virtual ~SettingsPrompt() = default;
    // A Yes/No question titled "Kestrelwatch"; true for Yes.
    virtual bool askYesNo(QWidget* parent, const QString& text) = 0;
    // An OK-only notice titled "Kestrelwatch".
    virtual void inform(QWidget* parent, const QString& text) = 0;
    // An OK-only notice of something that failed, with the error icon.
    virtual void error(QWidget* parent, const QString& text) { inform(parent, text); }
};

class MessageBoxPrompt final : public SettingsPrompt
{
public:
    bool askYesNo(QWidget* parent, const QString& text) override;
    void inform(QWidget* parent, const QString& text) override;
    void error(QWidget* parent, const QString& text) override;
};
