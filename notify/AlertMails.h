#pragma once

#include <QString>
#include <functional>

class CEmail;
class DeviceLog;
class DeviceTable;
struct LiveSettings;

// The two alert mails about a device: a new intruder, and a known intruder back online. Each carries the
// device's details, its manufacturer and the tail of its event history, and goes to the "TO" addresses of the
// settings. Whether an alert mails at all is the caller's decision (chkNewIntruderEmail, chkOnlineIntruderEmail).
class AlertMails final
{
public:
    // The manufacturer of a MAC address text (GetMacName of the vendor database).
    using VendorLookup = std::function<QString(const QString& mac)>;

    static const QString NewSubject;
    static const QString ImpersonationSubject;
    static const QString OnlineSubject;

    AlertMails(CEmail& mail, DeviceTable& table, DeviceLog& log, const LiveSettings& settings, VendorLookup vendor);

    // The new-intruder mail; its subject is ImpersonationSubject when the device's history since it was
    // admitted warns that it answers for the network's gateway.
    void SendNewEmail(qint32 index);
    void SendOnlineEmail(qint32 index);

    // The bodies as they are queued, every line ending in CR LF. A slot outside the table leaves its field
    // lines out.
    QString newEmailBody(qint32 index) const;
    QString onlineEmailBody(qint32 index) const;
    QString newEmailSubject(qint32 index) const;
    // Whether the device's history since it was admitted warns that it answers for the network's gateway.
    bool impersonatesGateway(qint32 index) const;

private:
    QString historySection(qint32 index) const;
    QString manufacturer(const QString& mac) const;

    CEmail& m_mail;
    DeviceTable& m_table;
    DeviceLog& m_log;
    const LiveSettings& m_settings;
    VendorLookup m_vendor;
};
