#pragma once

// An alert the window shows with an OK button. Every alert gets a fresh id, so two alerts
// with the same texts are still two alerts.

#include <QString>
#include <QUuid>

struct UserFacingAlert
{
    QUuid id;
    QString title;
    QString message;

    static UserFacingAlert make(const QString &title, const QString &message)
    {
        return {QUuid::createUuid(), title, message};
    }

    friend bool operator==(const UserFacingAlert &, const UserFacingAlert &) = default;
};
