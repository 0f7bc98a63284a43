#pragma once

#include <QNetworkRequest>
#include <QString>

class QNetworkReply;

// Every request of the portal: the URL text parsed tolerantly, its port
// replaced by the configured one, one raw header "User-Agent: ZOL Portal",
// Qt's default redirect policy and a transfer timeout against stalled servers.
QNetworkRequest MakePortalRequest(const QString &urlText, int port);

constexpr int portalTransferTimeoutMs = 60000;

// True when the reply finished without a network error and with a 2xx status.
bool ReplySucceeded(QNetworkReply *reply);
