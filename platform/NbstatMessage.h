#pragma once

#include "platform/DnsMessage.h"

// The NetBIOS node-status question ("*", type NBSTAT) sent by unicast to a device's UDP port 137, and the
// name its reply gives: the device's own computer name ("MYPHONE"), as Windows shows it.
namespace nbstat {

QByteArray buildNodeStatusQuery(quint16 id);

// The first unique, registered name with the workstation suffix 0x00, else the first with the server suffix
// 0x20, trailing blanks cut. Names outside printable ASCII are refused.
dnsmsg::NameReply parseNodeStatusReply(const QByteArray& msg, quint16 id);

} // namespace nbstat
