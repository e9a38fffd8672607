#pragma once
// The parsed configuration file: sections in file order, each with its key/value pairs in file order.
// Lookups are exact and case-sensitive, and the first match wins.

#include <string>
#include <unordered_map>
#include <vector>

namespace quillon {

struct IniPair {
  std::wstring key;    // trimmed
  std::wstring value;  // trimmed
};

class IniSection {
 public:
  explicit IniSection(const std::wstring& name) : name_(name) {}

  // The name exactly as written between the brackets.
  const std::wstring& Name() const { return name_; }
  const std::vector<IniPair>& Pairs() const { return pairs_; }

  // The first pair whose key equals `key` exactly, or null.
  const IniPair* FindKey(const std::wstring& key) const;

  void Append(std::wstring key, std::wstring value);

 private:
  std::wstring name_;
  std::vector<IniPair> pairs_;
  std::unordered_map<std::wstring, size_t> firstByKey_;  // keeps lookups linear for huge sections
};

class IniDocument {
 public:
  // Replaces the contents with the sections of `text`. Lines end only at CR LF; a line is a header
  // when, blanks and control characters aside, it starts with "[" and ends with "]"; other lines
  // need an "=" and a current section, or they are dropped. Always succeeds.
  void Parse(const std::wstring& text);

  // The first section whose name equals `name` exactly, or null. Valid until the next Parse.
  const IniSection* FindSection(const std::wstring& name) const;

  const std::vector<IniSection>& Sections() const { return sections_; }

 private:
  void ParseLine(const wchar_t* line, size_t length);

  std::vector<IniSection> sections_;
  std::unordered_map<std::wstring, size_t> firstByName_;
};

// Returns the UTF-16 text of the file after its first two bytes (the byte-order mark, unchecked).
// Any failure, or a file of fewer than three bytes, gives empty text. A trailing odd byte is dropped.
std::wstring ReadConfigurationFile(const std::wstring& path);

}  // namespace quillon
