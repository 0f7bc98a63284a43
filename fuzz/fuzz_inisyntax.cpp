// The configuration reader on arbitrary file contents: no crash, no undefined
// behaviour, and look-ups and number conversion consistent with the dictionary.
#include "FuzzCheck.h"

#include "app/IniSyntax.h"

#include <cerrno>
#include <climits>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

namespace {

std::string UpperAscii(std::string text)
{
    for (char &c : text) {
        if (c >= 'a' && c <= 'z')
            c = static_cast<char>(c - 'a' + 'A');
    }
    return text;
}

bool HasUpperAscii(const std::string &text)
{
    for (const char c : text) {
        if (c >= 'A' && c <= 'Z')
            return true;
    }
    return false;
}

// The C library's conversion, with the overflow that atoi leaves undefined clamped.
int ReferenceAtoi(const std::string &value)
{
    errno = 0;
    const long long number = std::strtoll(value.c_str(), nullptr, 10);
    if (number > INT_MAX)
        return INT_MAX;
    if (number < INT_MIN)
        return INT_MIN;
    return static_cast<int>(number);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const std::string content(reinterpret_cast<const char *>(data), size);
    const IniDictionary dictionary = ParseIniText(content);

    for (const auto &[key, value] : dictionary) {
        FUZZ_CHECK(key.find(':') != std::string::npos);
        FUZZ_CHECK(!HasUpperAscii(key));
        FUZZ_CHECK(IniLookup(dictionary, key) == value);
        FUZZ_CHECK(IniLookup(dictionary, UpperAscii(key)) == value);
        FUZZ_CHECK(IniAtoi(value) == ReferenceAtoi(value));
    }
    for (const char *key : {"portal:log", "web:port", "web:url"})
        FUZZ_CHECK(IniLookup(dictionary, key) == IniLookup(dictionary, UpperAscii(key)));

    // An empty line in front is a comment: it shifts every read by one line
    // and changes nothing else.
    FUZZ_CHECK(ParseIniText("\n" + content) == dictionary);

    FUZZ_CHECK(IniAtoi(content) == ReferenceAtoi(content));
    return 0;
}
