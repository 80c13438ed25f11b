#pragma once

#include <QNetworkAccessManager>
#include <QWidget>
#include <array>

class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;
struct LiveSettings;

// The push channels' page of the settings dialog: ntfy, Gotify and a webhook, each a server, a token and the
// kinds of alert it carries (check boxes named <Key><word>Check, e.g. NtfyAlertsstormCheck), written the moment
// they change, and "Send test", which sends a test message with what the page shows and says beside the button,
// in a short line of plain text, whether the server took it and, if not, why.
class PushSettingsPage final : public QWidget
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(PushSettingsPage)

public:
    explicit PushSettingsPage(LiveSettings& settings, QWidget* parent = nullptr);

    // Shows the live settings; writes nothing.
    void loadFromSettings();
    void sendTest(int channel);
    QString testResult(int channel) const;
    // The short line "Send test" shows for a server's answer (ChannelAnswer::summary).
    static QString testSummary(int status, const QString& reply, const QString& error);

private:
    void changed();

    LiveSettings& m_settings;
    QNetworkAccessManager m_net;
    std::array<QLineEdit*, 6> m_texts {};
    std::array<QPushButton*, 3> m_testButton {};
    std::array<QLabel*, 3> m_resultLabel {};
    std::array<std::array<QCheckBox*, 4>, 3> m_kinds {}; // per channel, in the order of the setting's words
    bool m_loading = false;
};
