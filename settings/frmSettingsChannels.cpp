#include "settings/frmSettingsChannels.h"

#include "channels/Channels.h"
#include "platform/Clock.h"
#include "settings/SettingsControls.h"
#include "store/LiveSettings.h"
#include "store/Settings.h"

#include <QFormLayout>
#include <QGroupBox>
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
    for (int c = 0; c < 3; ++c) {
        auto* form = new QFormLayout;
        for (int f = 0; f < 2; ++f) {
            const auto& t = ChannelTexts[size_t(2 * c + f)];
            auto* box = new QLineEdit;
            box->setObjectName(latin1(t.control));
            box->setToolTip(latin1(t.tooltip).trimmed());
            if (f == 1)
                box->setEchoMode(QLineEdit::PasswordEchoOnEdit);
            connect(box, &QLineEdit::textChanged, this, &frmSettingsChannels::changed);
            m_texts[size_t(2 * c + f)] = box;
            form->addRow(latin1(t.label), box);
        }
        auto* test = new QPushButton(QStringLiteral("Send test"));
        test->setObjectName(QStringLiteral("cmdTest") + latin1(ChannelTexts[size_t(2 * c)].value));
        connect(test, &QPushButton::clicked, this, [this, c] { sendTest(c); });
        auto* result = new QLabel;
        result->setTextFormat(Qt::PlainText);
        result->setWordWrap(true);
        result->setTextInteractionFlags(Qt::TextSelectableByMouse);
        m_cmdTest[size_t(c)] = test;
        m_lblResult[size_t(c)] = result;
        form->addRow(test, result);
        auto* group = new QGroupBox(
            channelName(Channel(c)) == QLatin1String("webhook") ? QStringLiteral("Webhook") : channelName(Channel(c)));
        group->setLayout(form);
        layout->addWidget(group);
    }
    layout->addWidget(new QLabel(QStringLiteral("Each channel gets the alerts the Alerts page turns on and the "
                                                "changes of watched devices; empty: the channel is off.")));
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
    if (!built.request) {
        result->setText(built.error);
        return;
    }
    QPushButton* button = m_cmdTest[size_t(channel)];
    button->setEnabled(false);
    result->setText(QStringLiteral("Sending..."));
    Channels::whenFinished(Channels::send(m_net, *built.request), this,
        [result, button](int status, const QString& text, const QString& error) {
            result->setText(Channels::answerText(status, text, error));
            button->setEnabled(true);
        });
}

QString frmSettingsChannels::testResult(int channel) const
{
    return m_lblResult[size_t(channel)]->text();
}
