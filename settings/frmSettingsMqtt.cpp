#include "settings/frmSettingsMqtt.h"

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

frmSettingsMqtt::frmSettingsMqtt(LiveSettings& settings, QWidget* parent)
    : QWidget(parent)
    , m_settings(settings)
{
    m_txtMqttServer = textBox("txtMqttServer",
        "The MQTT broker as host or host:port (port 1883, or 8883 with TLS, when none is given); empty: no MQTT");
    m_txtMqttServer->setPlaceholderText(QStringLiteral("host or host:port"));
    m_txtMqttUsername = textBox("txtMqttUsername", "The broker login name; empty: no login");
    m_txtMqttPassword = textBox("txtMqttPassword", "The broker password");
    m_txtMqttPassword->setEchoMode(QLineEdit::Password);
    m_txtMqttTopic = textBox("txtMqttTopic", "The first level of every topic the monitor publishes");
    m_cboMqttSecurity = new QComboBox;
    m_cboMqttSecurity->setObjectName(QStringLiteral("cboMqttSecurity"));
    m_cboMqttSecurity->addItems({QStringLiteral("None"), QStringLiteral("TLS")});
    m_cboMqttSecurity->setToolTip(
        QStringLiteral("TLS checks the broker's certificate against the system's trust store"));
    // Several monitors can share one broker; each publishes under its own name, which the box explains
    // rather than showing a bare host name.
    const QString host = QSysInfo::machineHostName();
    m_txtMqttSensor = new QLineEdit;
    m_txtMqttSensor->setObjectName(QStringLiteral("txtMqttSensor"));
    m_txtMqttSensor->setToolTip(QStringLiteral("The name this monitor publishes under, so that several monitors can "
                                               "share one broker; empty: this computer's name (%1)")
                                    .arg(host));
    m_txtMqttSensor->setPlaceholderText(QStringLiteral("this computer's name (%1)").arg(host));
    m_cmdTestMqtt = new QPushButton(QStringLiteral("Test connection"));
    m_cmdTestMqtt->setToolTip(QStringLiteral("Connects to the broker once with these settings and says how it went"));
    m_cmdTestMqtt->setObjectName(QStringLiteral("cmdTestMqtt"));
    m_lblMqttResult = new QLabel;
    m_lblMqttResult->setTextFormat(Qt::PlainText);
    m_lblMqttResult->setObjectName(QStringLiteral("lblMqttResult"));
    m_lblMqttResult->setWordWrap(true);

    auto* form = new QFormLayout;
    form->addRow(QStringLiteral("Server:"), m_txtMqttServer);
    form->addRow(QStringLiteral("User name:"), m_txtMqttUsername);
    form->addRow(QStringLiteral("Password:"), m_txtMqttPassword);
    form->addRow(QStringLiteral("Topic:"), m_txtMqttTopic);
    form->addRow(QStringLiteral("Security:"), m_cboMqttSecurity);
    form->addRow(QStringLiteral("Monitor name:"), m_txtMqttSensor);
    form->addRow(m_cmdTestMqtt, m_lblMqttResult);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addStretch(1);

    for (QLineEdit* box : {m_txtMqttServer, m_txtMqttUsername, m_txtMqttPassword, m_txtMqttTopic, m_txtMqttSensor})
        connect(box, &QLineEdit::textChanged, this, &frmSettingsMqtt::changed);
    connect(m_cboMqttSecurity, &QComboBox::currentTextChanged, this, &frmSettingsMqtt::changed);
    connect(m_cmdTestMqtt, &QPushButton::clicked, this, &frmSettingsMqtt::cmdTestMqtt_Click);
    m_testTimeout = new QTimer(this);
    m_testTimeout->setSingleShot(true);
    connect(m_testTimeout, &QTimer::timeout, this,
        [this] { testFinished(QStringLiteral("No answer from the broker within %1 s").arg(kTestTimeoutMs / 1000)); });
    loadFromSettings();
}

frmSettingsMqtt::~frmSettingsMqtt() = default;

void frmSettingsMqtt::loadFromSettings()
{
    m_loading = true;
    const auto show = [](QLineEdit* box, const QString& text) {
        if (box->text() != text)
            box->setText(text);
    };
    show(m_txtMqttServer, m_settings.mqtt.server);
    show(m_txtMqttUsername, m_settings.mqtt.username);
    show(m_txtMqttPassword, m_settings.mqtt.password);
    show(m_txtMqttTopic, m_settings.mqtt.topic);
    show(m_txtMqttSensor, m_settings.mqtt.sensor);
    const int security = m_cboMqttSecurity->findText(m_settings.mqtt.security, Qt::MatchFixedString);
    m_cboMqttSecurity->setCurrentIndex(security < 0 ? 0 : security);
    m_loading = false;
}

void frmSettingsMqtt::changed()
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
    store("MqttServer", m_txtMqttServer->text());
    store("MqttUsername", m_txtMqttUsername->text());
    store("MqttPassword", m_txtMqttPassword->text());
    store("MqttTopic", m_txtMqttTopic->text());
    store("MqttSecurity", m_cboMqttSecurity->currentText());
    store("MqttSensor", m_txtMqttSensor->text());
}

void frmSettingsMqtt::cmdTestMqtt_Click()
{
    const bool tls = m_cboMqttSecurity->currentText() == QLatin1String("TLS");
    const auto hostPort = MqttConnection::parseServer(m_txtMqttServer->text(), tls);
    if (!hostPort) {
        m_lblMqttResult->setText(QStringLiteral("The server must be host or host:port"));
        return;
    }
    MqttConnection::Config config;
    config.host = hostPort->first;
    config.port = hostPort->second;
    config.username = m_txtMqttUsername->text();
    config.password = m_txtMqttPassword->text();
    config.tls = tls;
    config.retry = false;
    m_test = std::make_unique<MqttConnection>();
    connect(m_test.get(), &MqttConnection::connected, this, [this] {
        testFinished(QStringLiteral("Connected to %1:%2").arg(m_test->config().host).arg(m_test->config().port));
    });
    connect(m_test.get(), &MqttConnection::connectionFailed, this,
        [this](const QString& reason) { testFinished(QStringLiteral("Failed: ") + reason); });
    m_cmdTestMqtt->setEnabled(false);
    m_lblMqttResult->setText(QStringLiteral("Connecting..."));
    m_testTimeout->start(kTestTimeoutMs);
    m_test->open(config);
}

void frmSettingsMqtt::testFinished(const QString& result)
{
    m_testTimeout->stop();
    m_lblMqttResult->setText(result);
    m_cmdTestMqtt->setEnabled(true);
    // Closed from the event loop: this may run inside the connection's own callback.
    if (m_test) {
        m_test->disconnect(this);
        m_test.release()->deleteLater();
    }
}

QString frmSettingsMqtt::testResult() const
{
    return m_lblMqttResult->text();
}
