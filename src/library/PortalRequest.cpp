#include "library/PortalRequest.h"

#include <QNetworkReply>
#include <QUrl>

QNetworkRequest MakePortalRequest(const QString &urlText, int port)
{
    QUrl url(urlText);
    url.setPort(port);
    QNetworkRequest request(url);
    request.setRawHeader("User-Agent", "ZOL Portal");
    request.setTransferTimeout(portalTransferTimeoutMs);
    return request;
}

bool ReplySucceeded(QNetworkReply *reply)
{
    if (reply->error() != QNetworkReply::NoError)
        return false;
    const QVariant status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute);
    // A non-HTTP scheme has no status; Qt reported any failure as an error.
    if (!status.isValid())
        return true;
    const int code = status.toInt();
    return code >= 200 && code < 300;
}
