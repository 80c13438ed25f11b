#include "notify/AlertMails.h"

#include "logging/DeviceLog.h"
#include "notify/AlertPolicy.h"
#include "notify/SmtpClient.h"
#include "platform/Clock.h"
#include "store/DeviceDescription.h"
#include "store/DeviceStore.h"
#include "store/LiveSettings.h"
#include "store/TextForms.h"

namespace {
QString line(const QString& text)
{
    return text + QStringLiteral("\r\n");
}

// What the device is, when anything is known: its type, model and os with their sources, and whom it is likely.
QString factLines(const DeviceStore& table, const DeviceRecord& d)
{
    QString lines;
    const QString likely = DeviceDescription::likelyText(table, d);
    if (!likely.isEmpty() || !DeviceDescription::kindText(d).isEmpty())
        lines += line(QStringLiteral("Device = ") + DeviceDescription::alertName(table, d));
    const auto fact = [&lines](const char* label, const QString& value, FactSource source) {
        if (!value.isEmpty())
            lines += line(QLatin1String(label) + value + QStringLiteral(" (") + DeviceDescription::sourceText(source)
                + QLatin1Char(')'));
    };
    fact("Type = ", DeviceDescription::typeText(d.Type), d.TypeSource);
    fact("Model = ", d.Model, d.ModelSource);
    fact("OS = ", d.Os, d.OsSource);
    return lines;
}
} // namespace

const QString AlertMails::NewSubject = QStringLiteral("URGENT: A New Device has been detected on your network");
const QString AlertMails::ImpersonationSubject =
    QStringLiteral("URGENT: A device is impersonating your network gateway");
const QString AlertMails::OnlineSubject = QStringLiteral("URGENT: An existing intruder is online on your network");
const QString AlertMails::WatchOfflineSubject = QStringLiteral("A watched device went offline");
const QString AlertMails::WatchOnlineSubject = QStringLiteral("A watched device is back online");
const QString AlertMails::StormSubject = QStringLiteral("URGENT: Many new devices are joining your network");

AlertMails::AlertMails(
    SmtpClient& mail, const DeviceStore& table, DeviceLog& log, const LiveSettings& settings, VendorLookup vendor)
    : m_mail(mail)
    , m_table(table)
    , m_log(log)
    , m_settings(settings)
    , m_vendor(std::move(vendor))
{ }

QString AlertMails::manufacturer(const QString& mac) const
{
    return m_vendor ? m_vendor(mac) : QString();
}

QString AlertMails::historySection(const QString& mac) const
{
    return line(QString()) + line(QStringLiteral("Log File")) + line(QStringLiteral("========"))
        + m_log.historyExcerpt(mac);
}

QString AlertMails::newEmailBody(const QString& mac) const
{
    QString body = line(QStringLiteral("Date/Time = ") + TextForms::dateText(kwclock::now()));
    if (const DeviceRecord* found = m_table.find(mac)) {
        const DeviceRecord& d = *found;
        body += line(QStringLiteral("Host Name = ") + d.HostName);
        body += line(QStringLiteral("IP Address = ") + d.IpAddress);
        body += line(QStringLiteral("MAC Address = ") + d.MacAddress);
        body += line(QStringLiteral("MAC Manufacturer = ") + manufacturer(d.MacAddress));
        body += factLines(m_table, d);
    }
    return body + historySection(mac);
}

QString AlertMails::onlineEmailBody(const QString& mac) const
{
    QString body = line(QStringLiteral("Date/Time = ") + TextForms::dateText(kwclock::now()));
    if (const DeviceRecord* found = m_table.find(mac)) {
        const DeviceRecord& d = *found;
        body += line(QStringLiteral("Host Name = ") + d.HostName);
        if (!d.FriendlyName.isEmpty())
            body += line(QStringLiteral("Friendly Name = ") + d.FriendlyName);
        body += line(QStringLiteral("IP Address = ") + d.IpAddress);
        body += line(QStringLiteral("MAC Address = ") + d.MacAddress);
        body += line(QStringLiteral("MAC Manufacturer = ") + manufacturer(d.MacAddress));
        body += factLines(m_table, d);
        body += line(QStringLiteral("First Seen = ") + TextForms::dateText(d.FirstSeen));
        // "Never" is written as its date, like every other date of the mail.
        body += line(QStringLiteral("Last Offline = ") + TextForms::dateText(d.LastOffline));
    }
    return body + historySection(mac);
}

QString AlertMails::stormEmailBody(const Alert& digest)
{
    return line(QStringLiteral("Date/Time = ") + TextForms::dateText(digest.time))
        + line(QStringLiteral("New Devices = ") + QString::number(digest.count))
        + line(QStringLiteral("Interface = ") + digest.interfaceName)
        + line(QStringLiteral("Address Range = ") + digest.firstAddress + QStringLiteral(" to ") + digest.lastAddress)
        + line(QStringLiteral("Storm Since = ") + TextForms::dateText(digest.since)) + line(QString())
        + line(QStringLiteral("Every device is admitted and kept with its history; while the storm lasts, one "
                              "mail every 10 minutes counts the new ones."));
}

void AlertMails::alertRaised(const Alert& alert)
{
    if (!alert.mail)
        return;
    switch (alert.kind) {
    case Alert::Kind::NewIntruder:
        SendNewEmail(alert.mac, alert.impersonation);
        break;
    case Alert::Kind::IntruderOnline:
        SendOnlineEmail(alert.mac);
        break;
    case Alert::Kind::Storm:
        SendStormEmail(alert);
        break;
    case Alert::Kind::LikelyReturn: // its admission's mail went already
        break;
    case Alert::Kind::Watched:
        m_mail.SendEmail(m_settings.mail.addresses, alert.online ? WatchOnlineSubject : WatchOfflineSubject,
            onlineEmailBody(alert.mac));
        break;
    }
}

void AlertMails::SendNewEmail(const QString& mac, bool impersonation)
{
    m_mail.SendEmail(m_settings.mail.addresses, impersonation ? ImpersonationSubject : NewSubject, newEmailBody(mac));
}

void AlertMails::SendOnlineEmail(const QString& mac)
{
    m_mail.SendEmail(m_settings.mail.addresses, OnlineSubject, onlineEmailBody(mac));
}

void AlertMails::SendStormEmail(const Alert& digest)
{
    m_mail.SendEmail(m_settings.mail.addresses, StormSubject, stormEmailBody(digest));
}
