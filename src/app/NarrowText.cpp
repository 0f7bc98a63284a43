#include "app/NarrowText.h"

#include <QByteArray>
#include <QFile>

QString FromNarrow(const std::string &text)
{
    return QString::fromLocal8Bit(QByteArray::fromStdString(text));
}

std::string ToNarrow(const QString &text)
{
    return text.toLocal8Bit().toStdString();
}

std::string FileSystemPath(const std::string &path)
{
    return QFile::encodeName(QFile::decodeName(QByteArray::fromStdString(path))).toStdString();
}
