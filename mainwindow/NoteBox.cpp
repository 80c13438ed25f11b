#include "mainwindow/NoteBox.h"

#include "mainwindow/PlainText.h"
#include "store/DeviceText.h"

#include <QKeyEvent>

const QString NoteBox::RowTitle = QStringLiteral("Note");

namespace {

const QString kHelp = QStringLiteral("Your note about this device, kept when you press Enter or leave the box");

} // namespace

NoteBox::NoteBox(QWidget* parent)
    : QLineEdit(parent)
{
    setObjectName(QStringLiteral("noteEdit"));
    setPlaceholderText(QStringLiteral("a note of your own"));
    setToolTip(kHelp);
    setMaxLength(int(DeviceText::MaxNoteChars));
    PlainText::acceptNotesOnly(this);
    connect(this, &QLineEdit::editingFinished, this, &NoteBox::keep);
    hide();
}

void NoteBox::showDevice(const QString& mac, const QString& stored)
{
    if (mac != m_mac)
        keep();
    const bool typing = hasFocus() && isModified() && mac == m_mac;
    m_mac = mac;
    m_stored = stored;
    if (!typing && text() != stored)
        setText(stored); // setText is no edit: it clears the modified flag
    // A note longer than the box reads whole in its tip.
    setToolTip(stored.isEmpty() ? kHelp : PlainText::toolTip(stored));
    show();
}

void NoteBox::clearDevice()
{
    keep();
    m_mac.clear();
    m_stored.clear();
    clear();
    hide();
}

void NoteBox::keep()
{
    if (!isModified() || m_mac.isEmpty())
        return;
    setModified(false);
    if (text() != m_stored) {
        m_stored = text();
        Q_EMIT noteEdited(m_mac, text());
    }
}

void NoteBox::keyPressEvent(QKeyEvent* event)
{
    if (event->key() == Qt::Key_Escape && isModified()) {
        setText(m_stored);
        event->accept();
        return;
    }
    QLineEdit::keyPressEvent(event);
}
