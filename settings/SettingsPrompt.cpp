#include "settings/SettingsPrompt.h"

#include <QMessageBox>

namespace {

// A mail server's reply reaches these boxes: its text is shown as written, never as markup.
QMessageBox::StandardButton ask(QWidget* parent, QMessageBox::Icon icon, const QString& text,
    QMessageBox::StandardButtons buttons, QMessageBox::StandardButton byDefault)
{
    QMessageBox box(icon, MessageBoxPrompt::Title, text, buttons, parent);
    box.setTextFormat(Qt::PlainText);
    box.setDefaultButton(byDefault);
    return QMessageBox::StandardButton(box.exec());
}

} // namespace

bool MessageBoxPrompt::askYesNo(QWidget* parent, const QString& text)
{
    // Yes is the default button, as it has always been.
    return ask(parent, QMessageBox::Question, text, QMessageBox::Yes | QMessageBox::No, QMessageBox::Yes)
        == QMessageBox::Yes;
}

void MessageBoxPrompt::inform(QWidget* parent, const QString& text)
{
    ask(parent, QMessageBox::Information, text, QMessageBox::Ok, QMessageBox::Ok);
}

void MessageBoxPrompt::error(QWidget* parent, const QString& text)
{
    ask(parent, QMessageBox::Critical, text, QMessageBox::Ok, QMessageBox::Ok);
}
