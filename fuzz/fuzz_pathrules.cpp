// The rules for names and paths from the server. Whatever they accept must
// stay below the folder it is joined to: an accepted path is already clean,
// so QDir::cleanPath leaves the joined path as it is.
#include "FuzzCheck.h"

#include "download/PathRules.h"

#include <QDir>
#include <QString>
#include <QStringList>

#include <cstddef>
#include <cstdint>
#include <cstring>

namespace {

const QString base = QStringLiteral("/srv/portal/games");

void CheckJoined(const QString &folder, const QString &path)
{
    const QString joined = folder + u'/' + path;
    const QString cleaned = QDir::cleanPath(joined);
    FUZZ_CHECK(cleaned == joined);
    FUZZ_CHECK(cleaned.startsWith(folder + u'/'));
}

void CheckName(const QString &text)
{
    const bool safePath = IsSafeRelativePath(text);
    const bool safeFolder = IsSafeFolderName(text);
    if (safePath)
        CheckJoined(base, text);
    if (safeFolder) {
        // One folder name is a relative path of one segment.
        FUZZ_CHECK(safePath);
        FUZZ_CHECK(!text.contains(u'/'));
    }
}

void CheckText(const QString &text)
{
    CheckName(text);

    // "uuid\nnickname\npath", laid out as a download lays out a game file.
    const QStringList parts = text.split(u'\n');
    if (parts.size() == 3) {
        for (const QString &part : parts)
            CheckName(part);
        if (IsSafeFolderName(parts[0]) && IsSafeFolderName(parts[1]) &&
            IsSafeRelativePath(parts[2]))
            CheckJoined(base + u'/' + parts[0] + u'/' + parts[1], parts[2]);
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const char *bytes = reinterpret_cast<const char *>(data);
    const qsizetype length = static_cast<qsizetype>(size);
    CheckText(QString::fromUtf8(bytes, length));
    CheckText(QString::fromLatin1(bytes, length));
    // Raw UTF-16 reaches what UTF-8 decoding never gives: lone surrogates.
    QString units(length / 2, Qt::Uninitialized);
    std::memcpy(units.data(), data, static_cast<std::size_t>(units.size()) * sizeof(QChar));
    CheckText(units);
    return 0;
}
