#pragma once

#include <QString>
#include <QStringList>

class QLineEdit;

// Text that came from a device, the store or MQTT is shown as written. Labels and message boxes are set to
// Qt::PlainText; tool tips have no such switch and guess (Qt::mightBeRichText), so theirs is escaped inside
// markup of ours. A guessed format once read a device's "<img src=/dev/zero>" as an image to load.
namespace PlainText {

QString toolTip(const QString& text);
// QMessageBox::question and ::critical on Qt::PlainText; true when the user answered Yes.
bool confirm(const QString& question);
void critical(const QString& message);
void inform(const QString& message);
// A question with buttons of the given words; the index of the one pressed, -1 when the box was closed.
int choose(const QString& question, const QStringList& buttons);
// The box takes only what the one name filter keeps (store/DeviceText.h): a paste with U+202E is refused.
void acceptNamesOnly(QLineEdit* box);
// The same for a note (store/DeviceText.h's filterNote).
void acceptNotesOnly(QLineEdit* box);

} // namespace PlainText
