#include "app/IniSyntax.h"

#include <algorithm>
#include <climits>
#include <string_view>

namespace {

// One read of the configuration reader holds at most this many characters;
// the rest of a longer line comes back as the next line.
constexpr std::size_t maxReadLength = 1023;

// White space as the C locale sees it; the file is narrow 8-bit text.
bool IsBlank(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

std::string LowerAscii(std::string_view text)
{
    std::string result(text);
    for (char &c : result) {
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    }
    return result;
}

std::string_view TrimTrailingBlanks(std::string_view text)
{
    while (!text.empty() && IsBlank(text.back()))
        text.remove_suffix(1);
    return text;
}

std::size_t SkipBlanks(std::string_view text, std::size_t position)
{
    while (position < text.size() && IsBlank(text[position]))
        ++position;
    return position;
}

// The next read, up to and including its line end, like fgets.
std::string_view NextRead(std::string_view content, std::size_t &position)
{
    const std::size_t start = position;
    const std::size_t limit = std::min(content.size(), start + maxReadLength);
    std::size_t end = start;
    while (end < limit && content[end] != '\n')
        ++end;
    if (end < limit)
        ++end; // keep the line end, as fgets does
    position = end;
    std::string_view line = content.substr(start, end - start);
    // A NUL byte ends the text of a read, as it ends a C string.
    const std::size_t nul = line.find('\0');
    if (nul != std::string_view::npos)
        line = line.substr(0, nul);
    return line;
}

// The text between `quote` at `position` and the next `quote` (or the end of
// the line); empty when nothing stands between them.
std::string_view QuotedValue(std::string_view line, std::size_t position, char quote)
{
    if (position >= line.size() || line[position] != quote)
        return {};
    const std::size_t start = position + 1;
    const std::size_t close = line.find(quote, start);
    return line.substr(start,
                       close == std::string_view::npos ? std::string_view::npos : close - start);
}

} // namespace

IniDictionary ParseIniText(const std::string &content)
{
    IniDictionary dictionary;
    std::string section;
    const std::string_view text(content);
    std::size_t position = 0;
    while (position < text.size()) {
        const std::string_view line = NextRead(text, position);
        const std::size_t start = SkipBlanks(line, 0);
        if (start == line.size() || line[start] == ';' || line[start] == '#')
            continue;

        if (line[start] == '[') {
            // Without "]" the name runs to the end of the read, line end included.
            const std::size_t close = line.find(']', start + 1);
            const std::string_view name =
                line.substr(start + 1, close == std::string_view::npos ? std::string_view::npos
                                                                       : close - start - 1);
            if (!name.empty()) {
                section = LowerAscii(name);
                continue;
            }
            // "[]" names no section; the line is tried as a key line.
        }

        const std::size_t equals = line.find('=', start);
        if (equals == std::string_view::npos || equals == start)
            continue;
        const std::size_t valueStart = SkipBlanks(line, equals + 1);

        std::string_view value = QuotedValue(line, valueStart, '"');
        if (value.empty())
            value = QuotedValue(line, valueStart, '\'');
        if (value.empty()) {
            const std::size_t stop = line.find_first_of(";#", valueStart);
            value = line.substr(valueStart, stop == std::string_view::npos ? std::string_view::npos
                                                                           : stop - valueStart);
        }
        if (value.empty())
            continue; // no value: the key stays undefined

        // Two bare quotes with nothing after them, not even the line end,
        // are the way to write an empty value.
        if (value == "\"\"" || value == "''")
            value = {};
        else
            value = TrimTrailingBlanks(value);

        const std::string key = LowerAscii(TrimTrailingBlanks(line.substr(start, equals - start)));
        dictionary[section + ':' + key] = std::string(value);
    }
    return dictionary;
}

std::optional<std::string> IniLookup(const IniDictionary &dictionary, const std::string &key)
{
    const auto found = dictionary.find(LowerAscii(key));
    if (found == dictionary.end())
        return std::nullopt;
    return found->second;
}

int IniAtoi(const std::string &value)
{
    std::size_t position = SkipBlanks(value, 0);
    bool negative = false;
    if (position < value.size() && (value[position] == '+' || value[position] == '-')) {
        negative = value[position] == '-';
        ++position;
    }
    // Accumulate towards the sign so that INT_MIN itself fits; clamp on overflow.
    long long number = 0;
    for (; position < value.size() && value[position] >= '0' && value[position] <= '9';
         ++position) {
        const int digit = value[position] - '0';
        number = number * 10 + (negative ? -digit : digit);
        if (number > INT_MAX)
            return INT_MAX;
        if (number < INT_MIN)
            return INT_MIN;
    }
    return static_cast<int>(number);
}
