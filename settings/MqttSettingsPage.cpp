#include "settings/MqttSettingsPage.h"

#include "mqtt/MqttConnection.h"
#include "store/LiveSettings.h"
#include "store/Settings.h"
#include "store/SettingsTable.h"

#include <QComboBox>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSysInfo>
#include <QTimer>
#include <QVBoxLayout>

namespace {

constexpr int kTestTimeoutMs = 10000;

QLineEdit* textBox(const char* name, const char* tip)
{
    auto* box = new QLineEdit;
    box->setObjectName(QLatin1String(name));
    box->setToolTip(QLatin1String(tip));
    return box;
}

} // namespace

MqttSettingsPage::MqttSettingsPage(LiveSettings& settings, QWidget* parent)
    : QWidget(parent)
    , m_settings(settings)
{
    m_mqttServerEdit = textBox("mqttServerEdit",
        "The MQTT broker as host or host:port (port 1883, or 8883 with TLS, when none is given); empty: no MQTT");
    m_mqttServerEdit->setPlaceholderText(QStringLiteral("host or host:port"));
    m_mqttUsernameEdit = textBox("mqttUsernameEdit", "The broker login name; empty: no login");
    m_mqttPasswordEdit = textBox("mqttPasswordEdit", "The broker password");
    m_mqttPasswordEdit->setEchoMode(QLineEdit::Password);
    m_mqttTopicEdit = textBox("mqttTopicEdit", "The first level of every topic the monitor publishes");
    m_mqttSecurityCombo = new QComboBox;
    m_mqttSecurityCombo->setObjectName(QStringLiteral("mqttSecurityCombo"));
    m_mqttSecurityCombo->addItems({QStringLiteral("None"), QStringLiteral("TLS")});
    m_mqttSecurityCombo->setToolTip(
        QStringLiteral("TLS checks the broker's certificate against the system's trust store"));
    // Several monitors can share one broker; each publishes under its own name, which the box explains
    // rather than showing a bare host name.
    const QString host = QSysInfo::machineHostName();
    m_mqttSensorEdit = new QLineEdit;
    m_mqttSensorEdit->setObjectName(QStringLiteral("mqttSensorEdit"));
    m_mqttSensorEdit->setToolTip(QStringLiteral("The name this monitor publishes under, so that several monitors can "
                                                "share one broker; empty: this computer's name (%1)")
                                     .arg(host));
    m_mqttSensorEdit->setPlaceholderText(QStringLiteral("this computer's name (%1)").arg(host));
    m_testMqttButton = new QPushButton(QStringLiteral("Test connection"));
    m_testMqttButton->setToolTip(
        QStringLiteral("Connects to the broker once with these settings and says how it went"));
    m_testMqttButton->setObjectName(QStringLiteral("testMqttButton"));
    m_mqttResultLabel = new QLabel;
    m_mqttResultLabel->setTextFormat(Qt::PlainText);
    m_mqttResultLabel->setObjectName(QStringLiteral("mqttResultLabel"));
    m_mqttResultLabel->setWordWrap(true);

    auto* form = new QFormLayout;
    form->addRow(QStringLiteral("Server:"), m_mqttServerEdit);
    form->addRow(QStringLiteral("User name:"), m_mqttUsernameEdit);
    form->addRow(QStringLiteral("Password:"), m_mqttPasswordEdit);
    form->addRow(QStringLiteral("Topic:"), m_mqttTopicEdit);
    form->addRow(QStringLiteral("Security:"), m_mqttSecurityCombo);
    form->addRow(QStringLiteral("Monitor name:"), m_mqttSensorEdit);
    form->addRow(m_testMqttButton, m_mqttResultLabel);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addStretch(1);

    for (QLineEdit* box : {m_mqttServerEdit, m_mqttUsernameEdit, m_mqttPasswordEdit, m_mqttTopicEdit, m_mqttSensorEdit})
        connect(box, &QLineEdit::textChanged, this, &MqttSettingsPage::changed);
    connect(m_mqttSecurityCombo, &QComboBox::currentTextChanged, this, &MqttSettingsPage::changed);
    connect(m_testMqttButton, &QPushButton::clicked, this, &MqttSettingsPage::testMqttClicked);
    m_testTimeout = new QTimer(this);
    m_testTimeout->setSingleShot(true);
    connect(m_testTimeout, &QTimer::timeout, this,
        [this] { testFinished(QStringLiteral("No answer from the broker within %1 s").arg(kTestTimeoutMs / 1000)); });
    loadFromSettings();
}

MqttSettingsPage::~MqttSettingsPage() = default;

void MqttSettingsPage::loadFromSettings()
{
    m_loading = true;
    const auto show = [](QLineEdit* box, const QString& text) {
        if (box->text() != text)
            box->setText(text);
    };
    show(m_mqttServerEdit, m_settings.mqtt.server);
    show(m_mqttUsernameEdit, m_settings.mqtt.username);
    show(m_mqttPasswordEdit, m_settings.mqtt.password);
    show(m_mqttTopicEdit, m_settings.mqtt.topic);
    show(m_mqttSensorEdit, m_settings.mqtt.sensor);
    const int security = m_mqttSecurityCombo->findText(m_settings.mqtt.security, Qt::MatchFixedString);
    m_mqttSecurityCombo->setCurrentIndex(security < 0 ? 0 : security);
    m_loading = false;
}

void MqttSettingsPage::changed()
{
    if (m_loading)
        return;
    const auto store = [this](const char* key, const QString& text) {
        const SettingsTable::Setting& setting = SettingsTable::byKey(key);
        QString& field = setting.text(m_settings);
        if (field == text)
            return;
        field = text;
        writeSetting(setting, m_settings);
    };
    store("MqttServer", m_mqttServerEdit->text());
    store("MqttUsername", m_mqttUsernameEdit->text());
    store("MqttPassword", m_mqttPasswordEdit->text());
    store("MqttTopic", m_mqttTopicEdit->text());
    store("MqttSecurity", m_mqttSecurityCombo->currentText());
    store("MqttSensor", m_mqttSensorEdit->text());
}

void MqttSettingsPage::testMqttClicked()
{
    const bool tls = m_mqttSecurityCombo->currentText() == QLatin1String("TLS");
    const auto hostPort = MqttConnection::parseServer(m_mqttServerEdit->text(), tls);
    if (!hostPort) {
        m_mqttResultLabel->setText(QStringLiteral("The server must be host or host:port"));
        return;
    }
    MqttConnection::Config config;
    config.host = hostPort->first;
    config.port = hostPort->second;
    config.username = m_mqttUsernameEdit->text();
    config.password = m_mqttPasswordEdit->text();
    config.tls = tls;
    config.retry = false;
    m_test = std::make_unique<MqttConnection>();
    connect(m_test.get(), &MqttConnection::connected, this, [this] {
        testFinished(QStringLiteral("Connected to %1:%2").arg(m_test->config().host).arg(m_test->config().port));
    });
    connect(m_test.get(), &MqttConnection::connectionFailed, this,
        [this](const QString& reason) { testFinished(QStringLiteral("Failed: ") + reason); });
    m_testMqttButton->setEnabled(false);
    m_mqttResultLabel->setText(QStringLiteral("Connecting..."));
    m_testTimeout->start(kTestTimeoutMs);
    m_test->open(config);
}

void MqttSettingsPage::testFinished(const QString& result)
{
    m_testTimeout->stop();
    m_mqttResultLabel->setText(result);
    m_testMqttButton->setEnabled(true);
    // Closed from the event loop: this may run inside the connection's own callback.
    if (m_test) {
        m_test->disconnect(this);
        m_test.release()->deleteLater();
    }
}

QString MqttSettingsPage::testResult() const
{
    return m_mqttResultLabel->text();
}
