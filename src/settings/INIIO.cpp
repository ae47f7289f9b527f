// Value encodings of the settings file.
#include "settings/INIIO.h"
#include "common/Utf8.h"

#include "common/StringOp.h"

#include <charconv>
#include <cmath>
#include <limits>

namespace zep {

namespace {

template <typename Int> Int ToInteger(double value) {
    const double rounded = std::nearbyint(value); // the default rounding mode: half to even
    if (!(rounded >= static_cast<double>(std::numeric_limits<Int>::min())))
        return std::numeric_limits<Int>::min();
    if (rounded > static_cast<double>(std::numeric_limits<Int>::max()))
        return std::numeric_limits<Int>::max();
    return static_cast<Int>(rounded);
}

template <typename Float> std::string ShortestText(Float value) {
    char buffer[64];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
    return std::string(buffer, result.ptr);
}

double ReadNumber(const IniDocument& file, std::string_view section, std::string_view key,
                  const std::string& defaultText) {
    return LeadingNumber(ReadSettingText(file, section, key, defaultText));
}

} // namespace

bool ReadFlag(std::string_view text) {
    const std::string upper = ToUpperAscii(text);
    return upper == "1" || upper == "TRUE" || upper == "WAHR";
}

int16_t ToInt16(double value) {
    return ToInteger<int16_t>(value);
}
int32_t ToInt32(double value) {
    return ToInteger<int32_t>(value);
}

float ToFloat(double value) {
    constexpr double limit = std::numeric_limits<float>::max();
    if (!std::isfinite(value)) return 0.0F;
    if (value > limit) return std::numeric_limits<float>::max();
    if (value < -limit) return std::numeric_limits<float>::lowest();
    return static_cast<float>(value);
}

std::string SettingText(bool value) {
    return value ? "1" : "0";
}
std::string SettingText(int16_t value) {
    return std::to_string(value);
}
std::string SettingText(int32_t value) {
    return std::to_string(value);
}
std::string SettingText(float value) {
    return ShortestText(value);
}
std::string SettingText(double value) {
    return ShortestText(value);
}

std::string ReadSettingText(const IniDocument& file, std::string_view section, std::string_view key,
                            std::string_view defaultText) {
    if (auto stored = file.Get(section, key)) return *stored;
    // The default goes through the same buffer: trailing blanks dropped, cut to its size.
    std::string_view text = defaultText;
    while (!text.empty() && text.back() == ' ')
        text.remove_suffix(1);
    return utf8::Prefix(text, MaxSettingLength);
}

bool ReadSetting(const IniDocument& file, std::string_view section, std::string_view key, bool defaultValue) {
    return ReadFlag(ReadSettingText(file, section, key, defaultValue ? "True" : "False"));
}

int16_t ReadSetting(const IniDocument& file, std::string_view section, std::string_view key,
                    int16_t defaultValue) {
    return ToInt16(ReadNumber(file, section, key, SettingText(defaultValue)));
}

int32_t ReadSetting(const IniDocument& file, std::string_view section, std::string_view key,
                    int32_t defaultValue) {
    return ToInt32(ReadNumber(file, section, key, SettingText(defaultValue)));
}

float ReadSetting(const IniDocument& file, std::string_view section, std::string_view key,
                  float defaultValue) {
    return ToFloat(ReadNumber(file, section, key, SettingText(defaultValue)));
}

double ReadSetting(const IniDocument& file, std::string_view section, std::string_view key,
                   double defaultValue) {
    return ReadNumber(file, section, key, SettingText(defaultValue));
}

std::string ReadSetting(const IniDocument& file, std::string_view section, std::string_view key,
                        const std::string& defaultValue) {
    return ReadSettingText(file, section, key, defaultValue);
}

} // namespace zep
