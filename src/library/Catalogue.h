#pragma once

#include "library/GameInfo.h"

#include <QList>
#include <QString>
#include <QStringList>

// The games of the catalogue connection, ordered by uuid (a later row with the
// same uuid replaces an earlier one). Rows whose uuid or nickname is not a
// plain folder name are left out; their uuids go to `unsafeUuids`, in row order.
QList<GameInfo> ReadCatalogueGames(const QString &connectionName, QStringList *unsafeUuids);

// Whether `<uuid>/<nickname>/game.zol` names this game (probe connection "GAME").
bool MarkerNamesGame(const QString &uuid, const QString &nickname);
