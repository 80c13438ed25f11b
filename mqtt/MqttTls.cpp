#include "mqtt/MqttTls.h"

#include "platform/DebugSink.h"

#include <QHostAddress>
#include <openssl/err.h>
#include <openssl/ssl.h>
#include <openssl/x509v3.h>

namespace {

// libmosquitto names the looked-up address as the server; the handshake's first step puts the real name back.
void sendServerName(const SSL* ssl, int where, int)
{
    if (!(where & SSL_CB_HANDSHAKE_START))
        return;
    const auto* host = static_cast<const QByteArray*>(SSL_CTX_get_app_data(SSL_get_SSL_CTX(ssl)));
    if (host && QHostAddress(QString::fromUtf8(*host)).isNull())
        SSL_set_tlsext_host_name(const_cast<SSL*>(ssl), host->constData());
}

} // namespace

SSL_CTX* makeMqttTlsContext(const QByteArray& host)
{
    SSL_CTX* ctx = SSL_CTX_new(TLS_client_method());
    if (!ctx) {
        Log(kwMqtt,
            QStringLiteral("MQTT - TLS cannot be set up: ")
                + QString::fromUtf8(ERR_reason_error_string(ERR_get_error())));
        return nullptr;
    }
    SSL_CTX_set_min_proto_version(ctx, TLS1_2_VERSION);
    SSL_CTX_set_default_verify_paths(ctx);
    SSL_CTX_set_verify(ctx, SSL_VERIFY_PEER, nullptr);
    X509_VERIFY_PARAM* param = SSL_CTX_get0_param(ctx);
    X509_VERIFY_PARAM_set_hostflags(param, X509_CHECK_FLAG_NO_PARTIAL_WILDCARDS);
    const bool named = QHostAddress(QString::fromUtf8(host)).isNull()
        ? X509_VERIFY_PARAM_set1_host(param, host.constData(), size_t(host.size())) == 1
        : X509_VERIFY_PARAM_set1_ip_asc(param, host.constData()) == 1;
    if (!named) {
        Log(kwMqtt, QStringLiteral("MQTT - TLS cannot check the name %1").arg(QString::fromUtf8(host)));
        SSL_CTX_free(ctx);
        return nullptr;
    }
    SSL_CTX_set_app_data(ctx, const_cast<QByteArray*>(&host));
    SSL_CTX_set_info_callback(ctx, &sendServerName);
    return ctx;
}
