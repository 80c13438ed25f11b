#include "settings/PushSettingsPage.h"

#include "channels/ChannelAnswer.h"
#include "channels/Channels.h"
#include "platform/Clock.h"
#include "settings/SettingsControls.h"
#include "store/LiveSettings.h"
#include "store/Settings.h"

#include <QCheckBox>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

using SettingsControls::ChannelTexts;
using SettingsControls::latin1;

namespace {

// The setting of each channel's alert kinds, in the order of Channel, and the boxes' captions in the order of
// its words.
const char* const kAlertKeys[] = {"NtfyAlerts", "GotifyAlerts", "WebhookAlerts"};
const char* const kKindCaptions[] = {"New intruders", "Intruders back online", "Watched devices", "Storm digests"};

} // namespace

PushSettingsPage::PushSettingsPage(LiveSettings& settings, QWidget* parent)
    : QWidget(parent)
    , m_settings(settings)
{
    m_net.setAutoDeleteReplies(false);
    auto* layout = new QVBoxLayout(this);
    // One line a channel (server, token, test) and its answer below, shown once there is one: the page fits a
    // small screen at large fonts.
    for (int c = 0; c < 3; ++c) {
        auto* row = new QHBoxLayout;
        for (int f = 0; f < 2; ++f) {
            const auto& t = ChannelTexts[size_t(2 * c + f)];
            auto* box = new QLineEdit;
            box->setObjectName(latin1(t.control));
            box->setToolTip(latin1(t.tooltip).trimmed());
            if (f == 1)
                box->setEchoMode(QLineEdit::PasswordEchoOnEdit);
            connect(box, &QLineEdit::textChanged, this, &PushSettingsPage::changed);
            m_texts[size_t(2 * c + f)] = box;
            row->addWidget(new QLabel(latin1(t.label)));
            row->addWidget(box, f == 0 ? 3 : 1);
        }
        auto* test = new QPushButton(QStringLiteral("Send test"));
        test->setObjectName(
            QStringLiteral("test") + latin1(ChannelTexts[size_t(2 * c)].key) + QStringLiteral("Button"));
        test->setToolTip(QStringLiteral("Send a test alert to this server now and show its answer"));
        connect(test, &QPushButton::clicked, this, [this, c] { sendTest(c); });
        row->addWidget(test);
        auto* result = new QLabel;
        result->setTextFormat(Qt::PlainText);
        result->setWordWrap(true);
        result->setTextInteractionFlags(Qt::TextSelectableByMouse);
        result->hide();
        m_testButton[size_t(c)] = test;
        m_resultLabel[size_t(c)] = result;
        auto* kinds = new QHBoxLayout;
        kinds->addWidget(new QLabel(QStringLiteral("Sends:")));
        const SettingsTable::Setting& alerts = SettingsTable::byKey(kAlertKeys[c]);
        const QStringList words = alerts.choiceList();
        for (qsizetype k = 0; k < words.size() && k < 4; ++k) {
            auto* box = new QCheckBox(QLatin1String(kKindCaptions[k]));
            box->setObjectName(alerts.keyText() + words[k] + QStringLiteral("Check"));
            box->setToolTip(
                QStringLiteral("Send %1 through this channel").arg(QString::fromLatin1(kKindCaptions[k]).toLower()));
            connect(box, &QCheckBox::clicked, this, &PushSettingsPage::changed);
            m_kinds[size_t(c)][size_t(k)] = box;
            kinds->addWidget(box);
        }
        kinds->addStretch(1);
        auto* lines = new QVBoxLayout;
        lines->addLayout(row);
        lines->addLayout(kinds);
        lines->addWidget(result);
        auto* group = new QGroupBox(
            channelName(Channel(c)) == QLatin1String("webhook") ? QStringLiteral("Webhook") : channelName(Channel(c)));
        group->setLayout(lines);
        layout->addWidget(group);
    }
    auto* note = new QLabel(QStringLiteral(
        "Each channel sends the kinds of alert ticked under it: a new intruder or an intruder back online while "
        "any of its boxes on the Alerts page is on, a watched device leaving or coming back, and the digest of "
        "a storm of new devices. A channel without a URL is off."));
    note->setWordWrap(true);
    layout->addWidget(note);
    layout->addStretch(1);
    loadFromSettings();
}

void PushSettingsPage::loadFromSettings()
{
    m_loading = true;
    for (size_t i = 0; i < ChannelTexts.size(); ++i) {
        const QString& text = SettingsControls::field(m_settings, ChannelTexts[i]);
        if (m_texts[i]->text() != text)
            m_texts[i]->setText(text);
    }
    for (size_t c = 0; c < m_kinds.size(); ++c) {
        const SettingsTable::Setting& alerts = SettingsTable::byKey(kAlertKeys[c]);
        const QStringList words = alerts.choiceList();
        for (size_t k = 0; k < m_kinds[c].size(); ++k)
            m_kinds[c][k]->setChecked(SettingsTable::hasWord(alerts.text(m_settings), words.value(qsizetype(k))));
    }
    m_loading = false;
}

void PushSettingsPage::changed()
{
    if (m_loading)
        return;
    for (size_t i = 0; i < ChannelTexts.size(); ++i) {
        const QString text = m_texts[i]->text().trimmed();
        QString& field = SettingsControls::field(m_settings, ChannelTexts[i]);
        if (field == text)
            continue;
        field = text;
        writeSetting(SettingsTable::byKey(ChannelTexts[i].key), m_settings);
    }
    for (size_t c = 0; c < m_kinds.size(); ++c) {
        const SettingsTable::Setting& alerts = SettingsTable::byKey(kAlertKeys[c]);
        const QStringList words = alerts.choiceList();
        QStringList ticked;
        for (size_t k = 0; k < m_kinds[c].size(); ++k) {
            if (m_kinds[c][k]->isChecked())
                ticked.append(words.value(qsizetype(k)));
        }
        const QString text = ticked.join(QLatin1Char(','));
        if (alerts.text(m_settings) == text)
            continue;
        alerts.text(m_settings) = text;
        writeSetting(alerts, m_settings);
    }
}

void PushSettingsPage::sendTest(int channel)
{
    QLabel* result = m_resultLabel[size_t(channel)];
    const ChannelTarget target {m_texts[size_t(2 * channel)]->text(), m_texts[size_t(2 * channel + 1)]->text()};
    const BuiltRequest built = buildRequest(Channel(channel), target, Notice::test(kwclock::now()));
    result->show();
    if (!built.request) {
        result->setText(built.error);
        return;
    }
    QPushButton* button = m_testButton[size_t(channel)];
    button->setEnabled(false);
    result->setText(QStringLiteral("Sending\u2026"));
    Channels::whenFinished(Channels::send(m_net, *built.request), this,
        [result, button](int status, const QString& text, const QString& error) {
            result->setText(testSummary(status, text, error));
            button->setEnabled(true);
        });
}

QString PushSettingsPage::testSummary(int status, const QString& reply, const QString& error)
{
    return ChannelAnswer::summary(status, reply, error);
}

QString PushSettingsPage::testResult(int channel) const
{
    return m_resultLabel[size_t(channel)]->text();
}
