#pragma once

#include <QByteArray>
#include <QString>
#include <array>

// Base64 of RFC 2045: encoded lines break with CR LF after every 76 characters when more output follows;
// decoding drops every CR LF and '=' and reads characters outside the alphabet as 'A'. Text converts to
// bytes as UTF-8; decoded bytes that are not UTF-8 are read as Latin-1, the form older stores hold. No
// operation fails; empty input gives empty output.
class Base64 final
{
public:
    Base64();

    QString Encodestring(const QString& text) const;
    QString EncodeByteArray(const QByteArray& bytes) const;
    QString DecodeTostring(const QString& text) const;
    QByteArray DecodeToByteArray(const QString& text) const;

private:
    std::array<char, 64> m_encode {};
    std::array<quint8, 256> m_decode {};
};
