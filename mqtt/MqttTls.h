#pragma once

#include <QString>

using SSL_CTX = struct ssl_ctx_st; // as OpenSSL declares it, without its headers

// The TLS context of one broker connection: the system's trust store (SSL_CERT_FILE and SSL_CERT_DIR are
// honoured), TLS 1.2 or later, and the broker's certificate checked against the host the user typed. The
// connection hands libmosquitto an address it looked up itself, so libmosquitto's own name check would only
// see a number: OpenSSL checks the name instead, and the name goes out as the server name indication.
// Returns nullptr (with a log line) when OpenSSL cannot build the context. The caller owns the result;
// `host` must outlive it.
SSL_CTX* makeMqttTlsContext(const QByteArray& host);
