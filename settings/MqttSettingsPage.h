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
class MqttSettingsPage final : public QWidget
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(MqttSettingsPage)

public:
    explicit MqttSettingsPage(LiveSettings& settings, QWidget* parent = nullptr);
    ~MqttSettingsPage() override;

    // Shows the live settings; writes nothing.
    void loadFromSettings();
    void testMqttClicked();
    QString testResult() const;

private:
    void changed();
    void testFinished(const QString& result);

    LiveSettings& m_settings;
    QLineEdit* m_mqttServerEdit = nullptr;
    QLineEdit* m_mqttUsernameEdit = nullptr;
    QLineEdit* m_mqttPasswordEdit = nullptr;
    QLineEdit* m_mqttTopicEdit = nullptr;
    QComboBox* m_mqttSecurityCombo = nullptr;
    QLineEdit* m_mqttSensorEdit = nullptr;
    QPushButton* m_testMqttButton = nullptr;
    QLabel* m_mqttResultLabel = nullptr;
    std::unique_ptr<MqttConnection> m_test;
    QTimer* m_testTimeout = nullptr;
    bool m_loading = false;
};
