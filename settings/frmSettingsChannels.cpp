#include "settings/frmSettingsChannels.h"

#include "channels/ChannelAnswer.h"
#include "channels/Channels.h"
#include "platform/Clock.h"
#include "settings/SettingsControls.h"
#include "store/LiveSettings.h"
#include "store/Settings.h"

#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

using SettingsControls::ChannelTexts;
using SettingsControls::latin1;

frmSettingsChannels::frmSettingsChannels(LiveSettings& settings, QWidget* parent)
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
            connect(box, &QLineEdit::textChanged, this, &frmSettingsChannels::changed);
            m_texts[size_t(2 * c + f)] = box;
            row->addWidget(new QLabel(latin1(t.label)));
            row->addWidget(box, f == 0 ? 3 : 1);
        }
        auto* test = new QPushButton(QStringLiteral("Send test"));
        test->setObjectName(QStringLiteral("cmdTest") + latin1(ChannelTexts[size_t(2 * c)].value));
        test->setToolTip(QStringLiteral("Send a test alert to this server now and show its answer"));
        connect(test, &QPushButton::clicked, this, [this, c] { sendTest(c); });
        row->addWidget(test);
        auto* result = new QLabel;
        result->setTextFormat(Qt::PlainText);
        result->setWordWrap(true);
        result->setTextInteractionFlags(Qt::TextSelectableByMouse);
        result->hide();
        m_cmdTest[size_t(c)] = test;
        m_lblResult[size_t(c)] = result;
        auto* lines = new QVBoxLayout;
        lines->addLayout(row);
        lines->addWidget(result);
        auto* group = new QGroupBox(
            channelName(Channel(c)) == QLatin1String("webhook") ? QStringLiteral("Webhook") : channelName(Channel(c)));
        group->setLayout(lines);
        layout->addWidget(group);
    }
    auto* note = new QLabel(QStringLiteral("Each channel gets the alerts the Alerts page turns on and the changes "
                                           "of watched devices; empty: the channel is off."));
    note->setWordWrap(true);
    layout->addWidget(note);
    layout->addStretch(1);
    loadFromSettings();
}

void frmSettingsChannels::loadFromSettings()
{
    m_loading = true;
    for (size_t i = 0; i < ChannelTexts.size(); ++i) {
        const QString& text = m_settings.*ChannelTexts[i].field;
        if (m_texts[i]->text() != text)
            m_texts[i]->setText(text);
    }
    m_loading = false;
}

void frmSettingsChannels::changed()
{
    if (m_loading)
        return;
    for (size_t i = 0; i < ChannelTexts.size(); ++i) {
        const QString text = m_texts[i]->text().trimmed();
        QString& field = m_settings.*ChannelTexts[i].field;
        if (field == text)
            continue;
        field = text;
        writeSetting(latin1(ChannelTexts[i].value), text);
    }
}

void frmSettingsChannels::sendTest(int channel)
{
    QLabel* result = m_lblResult[size_t(channel)];
    const ChannelTarget target {m_texts[size_t(2 * channel)]->text(), m_texts[size_t(2 * channel + 1)]->text()};
    const BuiltRequest built = buildRequest(Channel(channel), target, Notice::test(kwclock::now()));
    result->show();
    if (!built.request) {
        result->setText(built.error);
        return;
    }
    QPushButton* button = m_cmdTest[size_t(channel)];
    button->setEnabled(false);
    result->setText(QStringLiteral("Sending\u2026"));
    Channels::whenFinished(Channels::send(m_net, *built.request), this,
        [result, button](int status, const QString& text, const QString& error) {
            result->setText(testSummary(status, text, error));
            button->setEnabled(true);
        });
}

QString frmSettingsChannels::testSummary(int status, const QString& reply, const QString& error)
{
    return ChannelAnswer::summary(status, reply, error);
}

QString frmSettingsChannels::testResult(int channel) const
{
    return m_lblResult[size_t(channel)]->text();
}
