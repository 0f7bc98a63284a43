#include "PathPattern.h"

QRegularExpression PathPatternExpression(const QString &pattern)
{
    QString expression;
    QString literal; // escaped as a whole, so surrogate pairs stay together
    const auto flush = [&] {
        expression += QRegularExpression::escape(literal);
        literal.clear();
    };
    for (qsizetype i = 0; i < pattern.size(); ++i) {
        const QChar c = pattern.at(i);
        if (c != u'*' && c != u'?') {
            literal += c;
            continue;
        }
        flush();
        if (c == u'?') {
            expression += u"[^/]";
        } else if (i + 1 < pattern.size() && pattern.at(i + 1) == u'*') {
            ++i;
            if (i + 1 < pattern.size() && pattern.at(i + 1) == u'/') {
                ++i;
                expression += u"(?:.*/)?";
            } else {
                expression += u".*";
            }
        } else {
            expression += u"[^/]*";
        }
    }
    flush();
    return QRegularExpression(QRegularExpression::anchoredPattern(expression),
                              QRegularExpression::DotMatchesEverythingOption);
}

bool MatchesPathPattern(const QString &pattern, const QString &path)
{
    return PathPatternExpression(pattern).match(path).hasMatch();
}
