#include "settings/SettingsPrompt.h"

#include <QMessageBox>

bool MessageBoxPrompt::askYesNo(QWidget* parent, const QString& text)
{
    // Yes is the default button, as it has always been.
    return QMessageBox::question(parent, Title, text, QMessageBox::Yes | QMessageBox::No, QMessageBox::Yes)
        == QMessageBox::Yes;
}

void MessageBoxPrompt::inform(QWidget* parent, const QString& text)
{
    QMessageBox::information(parent, Title, text, QMessageBox::Ok);
}
