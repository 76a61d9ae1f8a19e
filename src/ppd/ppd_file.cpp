#include "ppd/ppd_file.h"

#include <fstream>

#include "ppd/ppd_parser.h"

namespace Quillfeather {

PPDFile::PPDFile(const std::string& path) {
  std::ifstream in(path, std::ios::in | std::ios::binary);
  parse(in);
}

PPDFile::PPDFile(std::istream& in) { parse(in); }

void PPDFile::parse(std::istream& in) {
  store_.max_load_factor(1.0f);
  PPDParser parser(in);
  PPDStatement statement;
  while (parser.next(statement)) {
    std::string key = statement.mainKeyword;
    store_[std::move(key)].push_back(std::move(statement));
    ++size_;
    statement = PPDStatement();
  }
}

const PPDStatement* PPDFile::lookup(const std::string& mainKeyword) const {
  auto it = store_.find(mainKeyword);
  if (it == store_.end() || it->second.empty()) return nullptr;
  return &it->second.back();
}

PPDStatement PPDFile::first(const std::string& mainKeyword) const {
  const PPDStatement* statement = lookup(mainKeyword);
  if (statement == nullptr) throw PPDKeywordNotFoundException("Unknown main keyword");
  return *statement;
}

bool PPDFile::contains(const std::string& mainKeyword) const {
  return lookup(mainKeyword) != nullptr;
}

bool PPDFile::find(const std::string& mainKeyword, PPDStatement& out) const {
  const PPDStatement* statement = lookup(mainKeyword);
  out = statement != nullptr ? *statement : PPDStatement();
  return statement != nullptr;
}

PPDValue PPDFile::getDefault(const std::string& option) const {
  std::string keyword = "Default" + option;
  const PPDStatement* statement = lookup(keyword);
  if (statement == nullptr) throw PPDKeywordNotFoundException(keyword);
  return statement->value;
}

bool PPDFile::isOption(const std::string& option) const {
  auto it = store_.find("OpenUI");
  if (it == store_.end()) return false;
  std::string wanted = "*" + option;
  for (const PPDStatement& statement : it->second) {
    if (statement.optionKeyword == wanted) return true;
  }
  return false;
}

bool PPDFile::isValidChoice(const std::string& option, const std::string& choice) const {
  if (!isOption(option)) return false;
  auto it = store_.find(option);
  if (it == store_.end()) return false;
  for (const PPDStatement& statement : it->second) {
    if (statement.optionKeyword == choice) return true;
  }
  return false;
}

std::vector<PPDStatement> PPDFile::findAll(const std::string& mainKeyword) const {
  auto it = store_.find(mainKeyword);
  if (it == store_.end()) return {};
  return std::vector<PPDStatement>(it->second.rbegin(), it->second.rend());
}

}  // namespace Quillfeather
