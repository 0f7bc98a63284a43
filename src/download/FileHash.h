#pragma once

#include <QString>

// Lower-case hexadecimal MD5 of the file's contents, read in pieces;
// empty when the file cannot be opened for reading.
QString fileHash(const QString &path);
