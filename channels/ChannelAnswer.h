#pragma once

#include <QString>

// A push server's answer to a message, in one short line of plain text for people (the settings' "Send test").
namespace ChannelAnswer {

// Taken (2xx), or refused with the reason the reply gives: a JSON "error", "message" or "detail", an HTML
// page's title or its words without the markup, or the text itself, cut to 80 characters; status 0 is no
// answer at all, and error says why. The reply is the bounded plain text replyText makes of the body.
QString summary(int status, const QString& reply, const QString& error);

} // namespace ChannelAnswer
