#pragma once

#include <QWidget>
#include <memory>

class MqttConnection;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QTimer;
struct LiveSettings;

// The MQTT page of the settings dialog: broker, login, topic, security and sensor name, each written the moment
// it changes (the login Base64-encoded like the mail login), and "Test connection", which tries the broker with
// what the page shows and reports the outcome beside the button without holding the dialog up.
class frmSettingsMqtt final : public QWidget
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(frmSettingsMqtt)

public:
    explicit frmSettingsMqtt(LiveSettings& settings, QWidget* parent = nullptr);
    ~frmSettingsMqtt() override;

    // Shows the live settings; writes nothing.
    void loadFromSettings();
    void cmdTestMqtt_Click();
    QString testResult() const;

private:
    void changed();
    void testFinished(const QString& result);

    LiveSettings& m_settings;
    QLineEdit* m_txtMqttServer = nullptr;
    QLineEdit* m_txtMqttUsername = nullptr;
    QLineEdit* m_txtMqttPassword = nullptr;
    QLineEdit* m_txtMqttTopic = nullptr;
    QComboBox* m_cboMqttSecurity = nullptr;
    QLineEdit* m_txtMqttSensor = nullptr;
    QPushButton* m_cmdTestMqtt = nullptr;
    QLabel* m_lblMqttResult = nullptr;
    std::unique_ptr<MqttConnection> m_test;
    QTimer* m_testTimeout = nullptr;
    bool m_loading = false;
};
