#include "PhotoDragPayload.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

QByteArray PhotoDragPayload::toJson() const
{
    QJsonArray array;
    for (const QUrl &url : urls) {
        array.append(url.toString(QUrl::FullyEncoded));
    }
    return QJsonDocument(QJsonObject{{QStringLiteral("urls"), array}})
        .toJson(QJsonDocument::Compact);
}

std::optional<PhotoDragPayload> PhotoDragPayload::fromJson(const QByteArray &json)
{
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(json, &error);
    if (error.error != QJsonParseError::NoError || !document.isObject()) {
        return std::nullopt;
    }
    const QJsonValue value = document.object().value(QStringLiteral("urls"));
    if (!value.isArray()) {
        return std::nullopt;
    }
    PhotoDragPayload payload;
    for (const QJsonValue &entry : value.toArray()) {
        const QUrl url(entry.toString(), QUrl::StrictMode);
        if (!entry.isString() || !url.isValid() || url.isRelative()) {
            return std::nullopt;
        }
        payload.urls.append(url);
    }
    return payload;
}
