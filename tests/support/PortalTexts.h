#pragma once

#include <QByteArray>
#include <QByteArrayList>
#include <QString>

// The portal's help text, byte for byte as it reaches standard output.
extern const QByteArray helpText;

// The messages of a log file, each line checked for its prefix and time stamp.
// A line without the prefix comes back as "!" and its text.
QByteArrayList LogMessages(const QString &path);
