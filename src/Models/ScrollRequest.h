#pragma once

// A request that the visible list scroll to a photo. The nonce makes a repeated request for
// the same photo a change that views notice.

#include <QString>
#include <QUuid>

struct ScrollRequest
{
    QString photoID;
    QUuid nonce;

    static ScrollRequest make(const QString &photoID) { return {photoID, QUuid::createUuid()}; }

    friend bool operator==(const ScrollRequest &, const ScrollRequest &) = default;
};
