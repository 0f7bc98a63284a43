#pragma once

#include <QString>
#include <QtGlobal>

// Whole percent of `size` that `received` bytes make, capped at 100.
int ProgressPercent(quint64 received, quint64 size);

// "Downloading <path>: <percent>%", or "Downloading <path>" when size is 0.
QString ProgressLine(const QString &path, quint64 received, quint64 size);
