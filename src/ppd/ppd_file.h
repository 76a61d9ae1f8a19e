#pragma once

#include <cstddef>
#include <istream>
#include <iterator>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

#include "ppd/ppd_exceptions.h"
#include "ppd/ppd_statement.h"
#include "ppd/ppd_value.h"

namespace Quillfeather {

// A parsed PPD file: statements by main keyword. Among statements of one main
// keyword, lookups see the one that stands last in the file first, and
// enumerations run from the last to the first. Filled once by the constructor.
class PPDFile {
  // Statements of one keyword, in file order (the front of every lookup is back()).
  using Store = std::unordered_map<std::string, std::vector<PPDStatement>>;

 public:
  // Iterates all (mainKeyword, statement) entries; within a keyword last in file first.
  class const_iterator {
   public:
    using iterator_category = std::forward_iterator_tag;
    using value_type = std::pair<const std::string&, const PPDStatement&>;
    using reference = value_type;
    using difference_type = std::ptrdiff_t;
    struct pointer {
      value_type entry;
      const value_type* operator->() const { return &entry; }
    };

    const_iterator() = default;
    reference operator*() const { return {outer_->first, outer_->second[inner_ - 1]}; }
    pointer operator->() const { return pointer{**this}; }
    const_iterator& operator++() {
      if (--inner_ == 0) {
        ++outer_;
        settle();
      }
      return *this;
    }
    const_iterator operator++(int) {
      const_iterator copy = *this;
      ++*this;
      return copy;
    }
    bool operator==(const const_iterator& other) const {
      return outer_ == other.outer_ && inner_ == other.inner_;
    }

   private:
    friend class PPDFile;
    const_iterator(Store::const_iterator outer, Store::const_iterator end)
        : outer_(outer), end_(end) {
      settle();
    }
    // Positions on the last statement of the current keyword, skipping empty ones.
    void settle() {
      while (outer_ != end_ && outer_->second.empty()) ++outer_;
      inner_ = outer_ == end_ ? 0 : outer_->second.size();
    }

    Store::const_iterator outer_;
    Store::const_iterator end_;
    size_t inner_ = 0;  // one past the current statement's index
  };

  PPDFile() = default;
  // Opens the file for binary reading and parses it; a file that cannot be
  // opened gives an empty PPDFile. Throws PPDSyntaxException on a malformed line.
  explicit PPDFile(const std::string& path);
  // Parses from the stream's position to its end.
  explicit PPDFile(std::istream& in);

  // The statement of the keyword that stands last in the file;
  // PPDKeywordNotFoundException "Unknown main keyword" if there is none.
  PPDStatement first(const std::string& mainKeyword) const;
  bool contains(const std::string& mainKeyword) const;
  bool find(const std::string& mainKeyword, PPDStatement& out) const;
  // Value of Default<option>; PPDKeywordNotFoundException with that keyword if absent.
  PPDValue getDefault(const std::string& option) const;
  // True if an OpenUI statement has the option keyword "*" + option.
  bool isOption(const std::string& option) const;
  bool isValidChoice(const std::string& option, const std::string& choice) const;
  std::vector<PPDStatement> findAll(const std::string& mainKeyword) const;

  size_t size() const { return size_; }
  bool empty() const { return size_ == 0; }
  const_iterator begin() const { return const_iterator(store_.begin(), store_.end()); }
  const_iterator end() const { return const_iterator(store_.end(), store_.end()); }

 private:
  void parse(std::istream& in);
  const PPDStatement* lookup(const std::string& mainKeyword) const;

  Store store_;
  size_t size_ = 0;
};

}  // namespace Quillfeather
