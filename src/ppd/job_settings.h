#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>

#include "ppd/ppd_file.h"

namespace Quillfeather {

// The job's settings: option name to value text, filled from the PPD defaults,
// the PPD's custom option ranges, the job arguments and the CUPS option string,
// and read with typed getters that fall back to a default instead of throwing.
class JobSettings {
 public:
  JobSettings();
  JobSettings(const JobSettings&) = default;
  JobSettings& operator=(const JobSettings&) = default;
  JobSettings(JobSettings&& other) noexcept;
  JobSettings& operator=(JobSettings&& other) noexcept;
  ~JobSettings() = default;

  void set(const std::string& name, const std::string& value);
  void remove(const std::string& name);
  bool contains(const std::string& name) const;
  std::string get(const std::string& name, const std::string& defaultValue) const;
  // True if the option string gave the name a "Custom." value.
  bool isCustom(const std::string& name) const;

  bool getBool(const std::string& name, bool defaultValue) const;
  int32_t getLong(const std::string& name, int32_t defaultValue) const;
  int64_t getLongLong(const std::string& name, int64_t defaultValue) const;
  bool tryGetLong(const std::string& name, int32_t& out) const;
  bool tryGetDouble(const std::string& name, double& out) const;
  // Reads name.Minimum and name.Maximum; both out values are set only on success.
  bool getLongRange(const std::string& name, int32_t& min, int32_t& max) const;
  bool getDoubleRange(const std::string& name, double& min, double& max) const;
  // The value (or the default) clamped to [min, max], times ten, rounded half
  // away from zero. A NaN value reads as the default; results beyond 32 bits saturate.
  int32_t getTenths(const std::string& name, double min, double max, double defaultValue) const;
  // getTenths with the name's custom range; false if the name or its range is missing.
  bool getCustomTenths(const std::string& name, int32_t& out, double defaultValue) const;

  // Stores every Default<name> statement with a String value under name.
  bool loadDefaults(const PPDFile& ppd);
  // Stores name.Minimum and name.Maximum of every ParamCustom<name> statement.
  bool loadCustomRanges(const PPDFile& ppd);
  // Merges a CUPS option string: name=value pairs and boolean words separated
  // by spaces, with backslash escapes.
  void parseOptions(std::string_view options);

 private:
  std::unordered_map<std::string, std::string> values_;
  std::unordered_set<std::string> customNames_;
};

}  // namespace Quillfeather
