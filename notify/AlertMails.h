#pragma once

#include <QString>
#include <functional>

struct Alert;
class SmtpClient;
class DeviceLog;
class DeviceStore;
struct LiveSettings;

// The two alert mails about a device: a new intruder, and a known intruder back online. Each carries the
// device's details, its manufacturer and the tail of its event history, and goes to the "TO" addresses of the
// settings; and the digest of a storm of new devices. Whether an alert mails at all is the alert policy's
// decision (AlertPolicy).
class AlertMails final
{
public:
    // The manufacturer of a MAC address text (GetMacName of the vendor database).
    using VendorLookup = std::function<QString(const QString& mac)>;

    static const QString NewSubject;
    static const QString ImpersonationSubject;
    static const QString OnlineSubject;
    static const QString StormSubject;
    // A watched device's change; the body is the online mail's.
    static const QString WatchOfflineSubject;
    static const QString WatchOnlineSubject;

    AlertMails(
        SmtpClient& mail, const DeviceStore& table, DeviceLog& log, const LiveSettings& settings, VendorLookup vendor);

    // The mail of an alert that asks for one.
    void alertRaised(const Alert& alert);
    // The new-intruder mail; its subject is ImpersonationSubject for a device that answers for the network's
    // gateway while the gateway's MAC is about.
    void SendNewEmail(const QString& mac, bool impersonation = false);
    void SendOnlineEmail(const QString& mac);
    void SendStormEmail(const Alert& digest);

    // The bodies as they are queued, every line ending in CR LF. A MAC no device has (any more) leaves its field
    // lines out.
    QString newEmailBody(const QString& mac) const;
    QString onlineEmailBody(const QString& mac) const;
    static QString stormEmailBody(const Alert& digest);

private:
    QString historySection(const QString& mac) const;
    QString manufacturer(const QString& mac) const;

    SmtpClient& m_mail;
    const DeviceStore& m_table;
    DeviceLog& m_log;
    const LiveSettings& m_settings;
    VendorLookup m_vendor;
};
