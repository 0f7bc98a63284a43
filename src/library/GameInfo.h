#pragma once

#include <QByteArray>
#include <QString>

// One game of the catalogue.
struct GameInfo
{
    QString title;
    QString description;
    QString nickname;
    QString uuid;
    QByteArray icon; // bytes of an image file
    bool installed = false;
};
