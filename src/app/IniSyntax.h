#pragma once

#include <map>
#include <optional>
#include <string>

// "section:key" (both lower-cased) to the raw value text.
using IniDictionary = std::map<std::string, std::string>;

// Parses the whole content of a configuration file.
IniDictionary ParseIniText(const std::string &content);

// Case-insensitive look-up of "section:key"; nullopt when the key is undefined.
std::optional<std::string> IniLookup(const IniDictionary &dictionary, const std::string &key);

// The standard atoi conversion: leading blanks, a sign, digits; 0 without digits.
int IniAtoi(const std::string &value);
