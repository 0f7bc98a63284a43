#include "download/PathRules.h"

#include <QStringList>

namespace {

bool HasForbiddenCharacter(const QString &text)
{
    for (const QChar c : text) {
        if (c.unicode() < 0x20 || c.unicode() == 0x7f || c == u'\\' || c == u':')
            return true;
    }
    return false;
}

} // namespace

bool IsSafeFolderName(const QString &name)
{
    if (name.isEmpty() || name == u"." || name == u".." || name.contains(u'/'))
        return false;
    if (HasForbiddenCharacter(name))
        return false;
    const QChar last = name.back();
    return last != u'.' && last != u' ';
}

bool IsSafeRelativePath(const QString &path)
{
    if (path.isEmpty() || path.startsWith(u'/') || HasForbiddenCharacter(path))
        return false;
    const QStringList segments = path.split(u'/');
    for (const QString &segment : segments) {
        if (segment.isEmpty() || segment == u"." || segment == u"..")
            return false;
    }
    return true;
}
