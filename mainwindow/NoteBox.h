#pragma once

#include <QLineEdit>

// The details panel's note box: one line the user keeps about the selected device, over its cell in the grid.
// A note is kept when the user presses Enter or leaves the box (a note saved key by key would write a history
// line per key); Escape gives back the stored one. While the user types, the details' refresh never puts the
// stored note back, and a switch to another device first keeps what was typed for the one it was typed for.
class NoteBox final : public QLineEdit
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(NoteBox)

public:
    static const QString RowTitle;

    explicit NoteBox(QWidget* parent);

    // Shows the device's stored note, unless the user is typing this device's note now.
    void showDevice(const QString& mac, const QString& stored);
    // No device: what was typed is kept first, then the box empties and hides.
    void clearDevice();
    QString mac() const { return m_mac; }

Q_SIGNALS:
    // The user's note for the device it was typed for (the selection may have moved on since).
    void noteEdited(const QString& mac, const QString& note);

protected:
    void keyPressEvent(QKeyEvent* event) override;

private:
    void keep();

    QString m_mac;
    QString m_stored;
};
