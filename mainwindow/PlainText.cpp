#include "mainwindow/PlainText.h"

#include "mainwindow/Theme.h"
#include "store/DeviceText.h"

#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTextDocument>
#include <QValidator>

namespace {

const QString kTitle = QStringLiteral("Kestrelwatch");

// The window's dark look for its own message boxes, which have no parent to take it from.
void darken(QMessageBox& box)
{
    box.setStyleSheet(Theme::styleSheet()
        + QStringLiteral("QMessageBox { background: #15243A; } QMessageBox QLabel { color: #EAF0F7; }"));
}

class TextValidator final : public QValidator
{
public:
    TextValidator(DeviceText::Name (*filter)(const QString&), QObject* parent)
        : QValidator(parent)
        , m_filter(filter)
    { }
    State validate(QString& input, int&) const override { return m_filter(input).ok() ? Acceptable : Invalid; }

private:
    DeviceText::Name (*m_filter)(const QString&);
};

} // namespace

namespace PlainText {

QString toolTip(const QString& text)
{
    return text.isEmpty() ? text : Qt::convertFromPlainText(text, Qt::WhiteSpaceNormal);
}

bool confirm(const QString& question)
{
    QMessageBox box(QMessageBox::NoIcon, kTitle, question, QMessageBox::Yes | QMessageBox::No);
    box.setTextFormat(Qt::PlainText);
    darken(box);
    box.setDefaultButton(QMessageBox::No);
    return box.exec() == QMessageBox::Yes;
}

void critical(const QString& message)
{
    QMessageBox box(QMessageBox::Critical, kTitle, message, QMessageBox::Ok);
    box.setTextFormat(Qt::PlainText);
    darken(box);
    box.exec();
}

void inform(const QString& message)
{
    QMessageBox box(QMessageBox::NoIcon, kTitle, message, QMessageBox::Ok);
    box.setTextFormat(Qt::PlainText);
    darken(box);
    box.exec();
}

int choose(const QString& question, const QStringList& buttons)
{
    QMessageBox box(QMessageBox::NoIcon, kTitle, question);
    box.setTextFormat(Qt::PlainText);
    darken(box);
    QList<QAbstractButton*> pressable;
    for (const QString& word : buttons)
        pressable.append(static_cast<QAbstractButton*>(box.addButton(word, QMessageBox::AcceptRole)));
    box.exec();
    return int(pressable.indexOf(box.clickedButton()));
}

void acceptNamesOnly(QLineEdit* box)
{
    box->setValidator(new TextValidator(&DeviceText::filterName, box));
}

void acceptNotesOnly(QLineEdit* box)
{
    box->setValidator(new TextValidator(&DeviceText::filterNote, box));
}

} // namespace PlainText
