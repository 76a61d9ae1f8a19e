#include "ppd/job_settings.h"

#include <cerrno>
#include <climits>
#include <cmath>
#include <cstdlib>
#include <sstream>
#include <string_view>

namespace Quillfeather {

namespace {

enum class CustomParameterType { Curve, Int, InvCurve, Passcode, Password, Points, Real, String };

const std::unordered_map<std::string, CustomParameterType>& customParameterTypes() {
  static const std::unordered_map<std::string, CustomParameterType> types = {
      {"curve", CustomParameterType::Curve},       {"int", CustomParameterType::Int},
      {"invcurve", CustomParameterType::InvCurve}, {"passcode", CustomParameterType::Passcode},
      {"password", CustomParameterType::Password}, {"points", CustomParameterType::Points},
      {"real", CustomParameterType::Real},         {"string", CustomParameterType::String}};
  return types;
}

bool isRealType(CustomParameterType type) {
  return type == CustomParameterType::Curve || type == CustomParameterType::InvCurve ||
         type == CustomParameterType::Points || type == CustomParameterType::Real;
}

// Text after prefix when keyword is prefix plus at least one character.
bool suffixAfter(std::string_view keyword, std::string_view prefix, std::string_view& rest) {
  if (keyword.size() <= prefix.size() || keyword.substr(0, prefix.size()) != prefix) return false;
  rest = keyword.substr(prefix.size());
  return true;
}

// strtoll over the whole text (embedded NULs end the conversion early and so fail).
bool parseWholeLongLong(const std::string& text, long long& out) {
  if (text.empty()) return false;
  const char* begin = text.c_str();
  char* end = nullptr;
  errno = 0;
  long long value = std::strtoll(begin, &end, 10);
  if (end == begin || errno == ERANGE || end != begin + text.size()) return false;
  out = value;
  return true;
}

bool parseWholeDouble(const std::string& text, double& out) {
  if (text.empty()) return false;
  const char* begin = text.c_str();
  char* end = nullptr;
  errno = 0;
  double value = std::strtod(begin, &end);
  if (end == begin || errno == ERANGE || end != begin + text.size()) return false;
  out = value;
  return true;
}

}  // namespace

JobSettings::JobSettings() : values_(1), customNames_(1) {
  values_.max_load_factor(1.0f);
  customNames_.max_load_factor(1.0f);
}

JobSettings::JobSettings(JobSettings&& other) noexcept
    : values_(std::move(other.values_)), customNames_(std::move(other.customNames_)) {
  other.values_.clear();
  other.customNames_.clear();
}

JobSettings& JobSettings::operator=(JobSettings&& other) noexcept {
  if (this != &other) {
    values_ = std::move(other.values_);
    customNames_ = std::move(other.customNames_);
    other.values_.clear();
    other.customNames_.clear();
  }
  return *this;
}

void JobSettings::set(const std::string& name, const std::string& value) { values_[name] = value; }

void JobSettings::remove(const std::string& name) {
  values_.erase(name);
  customNames_.erase(name);
}

bool JobSettings::contains(const std::string& name) const { return values_.count(name) != 0; }

std::string JobSettings::get(const std::string& name, const std::string& defaultValue) const {
  auto it = values_.find(name);
  return it == values_.end() ? defaultValue : it->second;
}

bool JobSettings::isCustom(const std::string& name) const { return customNames_.count(name) != 0; }

bool JobSettings::getBool(const std::string& name, bool defaultValue) const {
  auto it = values_.find(name);
  if (it == values_.end()) return defaultValue;
  const std::string& v = it->second;
  if (v == "True" || v == "true" || v == "Enabled" || v == "enabled") return true;
  if (v == "False" || v == "false" || v == "Disabled" || v == "disabled") return false;
  return defaultValue;
}

int32_t JobSettings::getLong(const std::string& name, int32_t defaultValue) const {
  int32_t value = defaultValue;
  tryGetLong(name, value);
  return value;
}

int64_t JobSettings::getLongLong(const std::string& name, int64_t defaultValue) const {
  auto it = values_.find(name);
  long long value = 0;
  if (it == values_.end() || !parseWholeLongLong(it->second, value)) return defaultValue;
  return value;
}

bool JobSettings::tryGetLong(const std::string& name, int32_t& out) const {
  auto it = values_.find(name);
  long long value = 0;
  if (it == values_.end() || !parseWholeLongLong(it->second, value)) return false;
  if (value < INT32_MIN || value > INT32_MAX) return false;
  out = static_cast<int32_t>(value);
  return true;
}

bool JobSettings::tryGetDouble(const std::string& name, double& out) const {
  auto it = values_.find(name);
  return it != values_.end() && parseWholeDouble(it->second, out);
}

bool JobSettings::getLongRange(const std::string& name, int32_t& min, int32_t& max) const {
  int32_t low = 0;
  int32_t high = 0;
  if (!tryGetLong(name + ".Minimum", low) || !tryGetLong(name + ".Maximum", high)) return false;
  min = low;
  max = high;
  return true;
}

bool JobSettings::getDoubleRange(const std::string& name, double& min, double& max) const {
  double low = 0;
  double high = 0;
  if (!tryGetDouble(name + ".Minimum", low) || !tryGetDouble(name + ".Maximum", high)) return false;
  min = low;
  max = high;
  return true;
}

int32_t JobSettings::getTenths(const std::string& name, double min, double max,
                               double defaultValue) const {
  double v = defaultValue;
  if (!tryGetDouble(name, v) || std::isnan(v)) v = defaultValue;
  if (v < min) {
    v = min;
  } else if (v > max) {
    v = max;
  }
  double tenths = std::round(v * 10.0);
  // Only a NaN default or bound can still be NaN here; it has no tenths value.
  if (std::isnan(tenths)) return 0;
  if (tenths <= static_cast<double>(INT32_MIN)) return INT32_MIN;
  if (tenths >= static_cast<double>(INT32_MAX)) return INT32_MAX;
  return static_cast<int32_t>(tenths);
}

bool JobSettings::getCustomTenths(const std::string& name, int32_t& out,
                                  double defaultValue) const {
  double min = 0;
  double max = 0;
  if (!contains(name) || !getDoubleRange(name, min, max)) return false;
  out = getTenths(name, min, max, defaultValue);
  return true;
}

bool JobSettings::loadDefaults(const PPDFile& ppd) {
  bool loaded = false;
  for (const auto& [keyword, statement] : ppd) {
    std::string_view name;
    if (statement.value.type != PPDValueType::String || !suffixAfter(keyword, "Default", name))
      continue;
    set(std::string(name), statement.value.text);
    loaded = true;
  }
  return loaded;
}

bool JobSettings::loadCustomRanges(const PPDFile& ppd) {
  bool loaded = false;
  for (const auto& [keyword, statement] : ppd) {
    std::string_view option;
    if (statement.value.type != PPDValueType::String ||
        !suffixAfter(keyword, "ParamCustom", option))
      continue;
    std::istringstream in(statement.value.text);
    int order = 0;
    std::string typeWord;
    if (!(in >> order >> typeWord)) continue;
    auto type = customParameterTypes().find(typeWord);
    if (type == customParameterTypes().end()) continue;
    std::string minText;
    std::string maxText;
    if (isRealType(type->second)) {
      double min = 0;
      double max = 0;
      if (!(in >> min >> max)) continue;
      minText = std::to_string(min);
      maxText = std::to_string(max);
    } else {
      int min = 0;
      int max = 0;
      if (!(in >> min >> max)) continue;
      minText = std::to_string(min);
      maxText = std::to_string(max);
    }
    std::string name(option);
    set(name + ".Minimum", minText);
    set(name + ".Maximum", maxText);
    loaded = true;
  }
  return loaded;
}

}  // namespace Quillfeather
