// Reading, writing and defaulting one setting of the settings file, with the file's value
// encodings: flags "1"/"0", numbers in decimal with ".", texts as they are.
#pragma once

#include "settings/IniFile.h"

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>

namespace zep {

// What ExchangeSetting does with the variable.
enum class ExchangeMode : int { SetDefault = 0, Read = 1, Write = 2 };

// True when the text, upper-cased, is "1", "TRUE" or "WAHR".
bool ReadFlag(std::string_view text);

// The leading number of a text converted to a variable's type: rounded half to even for integers
// and clamped to the type's range, so an out-of-range value never stops the program.
int16_t ToInt16(double value);
int32_t ToInt32(double value);
float ToFloat(double value);

// Value texts as they are written: "1"/"0"; decimal digits with "." and no needless decimals
// (100, 2.5), the shortest text that reads back as the same value.
std::string SettingText(bool value);
std::string SettingText(int16_t value);
std::string SettingText(int32_t value);
std::string SettingText(float value);
std::string SettingText(double value);
inline std::string SettingText(const std::string& value) {
    return value;
}

// The stored text of the key, or the default turned into text (flags as "True"/"False") when the
// key is missing; at most MaxSettingLength characters.
std::string ReadSettingText(const IniDocument& file, std::string_view section, std::string_view key,
                            std::string_view defaultText);

// The stored value converted to the type of the default, or the default when the key is missing.
bool ReadSetting(const IniDocument& file, std::string_view section, std::string_view key, bool defaultValue);
int16_t ReadSetting(const IniDocument& file, std::string_view section, std::string_view key,
                    int16_t defaultValue);
int32_t ReadSetting(const IniDocument& file, std::string_view section, std::string_view key,
                    int32_t defaultValue);
float ReadSetting(const IniDocument& file, std::string_view section, std::string_view key,
                  float defaultValue);
double ReadSetting(const IniDocument& file, std::string_view section, std::string_view key,
                   double defaultValue);
std::string ReadSetting(const IniDocument& file, std::string_view section, std::string_view key,
                        const std::string& defaultValue);
// A literal default is a text, never a flag.
inline std::string ReadSetting(const IniDocument& file, std::string_view section, std::string_view key,
                               const char* defaultValue) {
    return ReadSetting(file, section, key, std::string(defaultValue));
}

// Stores the value's text (SettingText) under the key.
template <typename T>
void WriteSetting(IniDocument& file, std::string_view section, std::string_view key, const T& value) {
    file.Set(section, key, SettingText(value));
}

// Mode SetDefault sets the variable to its default, Read reads it from the file (the default when
// the key is missing), Write stores it.
template <typename T>
void ExchangeSetting(IniDocument& file, std::string_view section, std::string_view key, T& variable,
                     ExchangeMode mode, const T& defaultValue) {
    switch (mode) {
    case ExchangeMode::SetDefault:
        variable = defaultValue;
        break;
    case ExchangeMode::Read:
        variable = ReadSetting(file, section, key, defaultValue);
        break;
    case ExchangeMode::Write:
        WriteSetting(file, section, key, variable);
        break;
    }
}

// The same on a file on disk: each call reads the file, and a write replaces it atomically.
// A missing or unreadable file reads as defaults.
template <typename T>
T ReadSetting(const std::filesystem::path& path, std::string_view section, std::string_view key,
              const T& defaultValue) {
    return ReadSetting(ReadIniFile(path).Document, section, key, defaultValue);
}

// Returns empty on success, else the reason the file could not be written.
template <typename T>
std::string WriteSetting(const std::filesystem::path& path, std::string_view section, std::string_view key,
                         const T& value) {
    IniFile file = ReadIniFile(path);
    WriteSetting(file.Document, section, key, value);
    return WriteIniFile(file);
}

} // namespace zep
