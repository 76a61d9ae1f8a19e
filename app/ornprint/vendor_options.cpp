#include "vendor_options.h"

#include <array>
#include <cctype>
#include <map>
#include <mutex>

#include "ppd/ppd_file.h"

namespace OrnPrint {
namespace {

struct Entry {
  Language language;
  const char* attribute;
  const char* option;
};

constexpr std::array kEntries{
    Entry{Language::Lxpr, "orn-print-method", "PrintMethod"},
    Entry{Language::Lxpr, "orn-label-gap", "LabelGap"},
    Entry{Language::Lxpr, "orn-cutter", "CutModule"},
    Entry{Language::Lxpr, "orn-graphic-compression", "Compression"},
    Entry{Language::Lxpr, "orn-feed-adjustment", "FeedAdjustment"},
    Entry{Language::Lxpr, "orn-cut-peel-adjustment", "CutStripAdjustment"},
    Entry{Language::Lxpr, "orn-back-feed-adjustment", "BackFeedAdjustment"},
    Entry{Language::Lxpr, "orn-command-framing", "CommandCharacters"},
    Entry{Language::Ktrn8q, "orn-cutting-mode", "CuttingMode"},
    Entry{Language::Ktrn8q, "orn-print-on-back-only", "PrintOnBackOnly"},
    Entry{Language::Zpl, "orn-graphic-compression", "ZPLCompression"},
};

std::vector<VendorOption> readOptions(const Driver& driver) {
  std::vector<VendorOption> options;
  try {
    const Quillfeather::PPDFile ppd(modelPath(driver));
    for (const Entry& entry : kEntries) {
      if (entry.language != driver.language || !ppd.isOption(entry.option)) continue;
      VendorOption option{entry.attribute, entry.option, {}, ppd.getDefault(entry.option).text};
      for (const auto& choice : ppd.findAll(entry.option)) {
        if (choice.hasOptionKeyword()) option.choices.push_back(choice.optionKeyword);
      }
      if (!option.choices.empty()) options.push_back(std::move(option));
    }
  } catch (const std::exception&) {
    // Without its PPD the driver offers no vendor options; its jobs fail with the reason.
  }
  return options;
}

}  // namespace

std::string ippKeyword(const std::string& choice) {
  std::string keyword;
  for (unsigned char c : choice) keyword += std::isalnum(c) ? char(std::tolower(c)) : '-';
  return keyword;
}

const std::vector<VendorOption>& vendorOptions(const Driver& driver) {
  static std::mutex mutex;
  static std::map<std::string, std::vector<VendorOption>> cache;
  std::lock_guard lock(mutex);
  auto found = cache.find(driver.name);
  if (found == cache.end()) found = cache.emplace(driver.name, readOptions(driver)).first;
  return found->second;
}

void advertiseVendorOptions(const Driver& driver, pappl_pr_driver_data_t& data, ipp_t*& attrs) {
  if (attrs == nullptr) attrs = ippNew();
  data.num_vendor = 0;
  for (const VendorOption& option : vendorOptions(driver)) {
    if (data.num_vendor >= PAPPL_MAX_VENDOR) break;
    std::vector<const char*> keywords;
    std::vector<std::string> storage;
    for (const std::string& choice : option.choices) storage.push_back(ippKeyword(choice));
    for (const std::string& keyword : storage) keywords.push_back(keyword.c_str());
    ippAddStrings(attrs, IPP_TAG_PRINTER, IPP_TAG_KEYWORD,
                  (option.attribute + "-supported").c_str(), static_cast<int>(keywords.size()),
                  nullptr, keywords.data());
    ippAddString(attrs, IPP_TAG_PRINTER, IPP_TAG_KEYWORD, (option.attribute + "-default").c_str(),
                 nullptr, ippKeyword(option.defaultChoice).c_str());
    data.vendor[data.num_vendor++] = option.attribute.c_str();
  }
}

std::string vendorSettings(const Driver& driver, int count, const cups_option_t* values) {
  std::string settings;
  for (const VendorOption& option : vendorOptions(driver)) {
    const char* value =
        cupsGetOption(option.attribute.c_str(), count, const_cast<cups_option_t*>(values));
    if (value == nullptr) continue;
    for (const std::string& choice : option.choices) {
      if (ippKeyword(choice) != value) continue;
      if (!settings.empty()) settings += ' ';
      settings += option.option + '=' + choice;
      break;
    }
  }
  return settings;
}

}  // namespace OrnPrint
