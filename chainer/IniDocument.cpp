#include "chainer/IniDocument.h"

#include <windows.h>

#include <cwctype>

#include "platform/core/Holders.h"
#include "platform/core/Paths.h"

namespace quillon {
namespace {

bool IsWhiteSpace(wchar_t c) { return std::iswspace(static_cast<wint_t>(c)) != 0; }

std::wstring Trimmed(const wchar_t* begin, const wchar_t* end) {
  while (begin < end && IsWhiteSpace(*begin)) ++begin;
  while (end > begin && IsWhiteSpace(end[-1])) --end;
  return std::wstring(begin, end);
}

}  // namespace

const IniPair* IniSection::FindKey(const std::wstring& key) const {
  const auto found = firstByKey_.find(key);
  return found == firstByKey_.end() ? nullptr : &pairs_[found->second];
}

void IniSection::Append(std::wstring key, std::wstring value) {
  firstByKey_.emplace(key, pairs_.size());
  pairs_.push_back(IniPair{std::move(key), std::move(value)});
}

void IniDocument::Parse(const std::wstring& text) {
  sections_.clear();
  firstByName_.clear();
  const wchar_t* const data = text.data();
  const size_t size = text.size();
  size_t start = 0;
  bool first = true;
  while (start < size) {
    size_t end = text.find(L"\r\n", start);
    if (end == std::wstring::npos) end = size;
    size_t lineStart = start;
    if (first && end > lineStart && data[lineStart] == 0xFEFF) ++lineStart;
    first = false;
    ParseLine(data + lineStart, end - lineStart);
    start = end + 2;
  }
}

void IniDocument::ParseLine(const wchar_t* line, size_t length) {
  if (length == 0) return;
  size_t first = 0;
  while (first < length && line[first] <= 0x20) ++first;
  size_t last = length;
  while (last > first && line[last - 1] <= 0x20) --last;
  if (last - first >= 2 && line[first] == L'[' && line[last - 1] == L']') {
    std::wstring name(line + first + 1, line + last - 1);
    firstByName_.emplace(name, sections_.size());
    sections_.emplace_back(name);
    return;
  }
  if (sections_.empty()) return;
  const wchar_t* const end = line + length;
  const wchar_t* equals = std::char_traits<wchar_t>::find(line, length, L'=');
  if (equals == nullptr) return;
  sections_.back().Append(Trimmed(line, equals), Trimmed(equals + 1, end));
}

const IniSection* IniDocument::FindSection(const std::wstring& name) const {
  const auto found = firstByName_.find(name);
  return found == firstByName_.end() ? nullptr : &sections_[found->second];
}

std::wstring ReadConfigurationFile(const std::wstring& path) {
  const std::wstring systemPath = WithLongPrefix(path);
  WIN32_FIND_DATAW entry{};
  {
    FindHandle find(::FindFirstFileW(systemPath.c_str(), &entry));
    if (!find.IsValid()) return std::wstring();
  }
  // The directory entry gives the size; only its low 32 bits count.
  const DWORD size = entry.nFileSizeLow;
  KernelHandle file(::CreateFileW(systemPath.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                  FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file.IsValid() || size < 3) return std::wstring();
  if (::SetFilePointer(file.Get(), 2, nullptr, FILE_BEGIN) == INVALID_SET_FILE_POINTER) return std::wstring();
  std::wstring text((size - 2) / 2, L'\0');
  const DWORD wanted = static_cast<DWORD>(text.size() * sizeof(wchar_t));
  DWORD read = 0;
  if (wanted == 0 || !::ReadFile(file.Get(), text.data(), wanted, &read, nullptr) || read == 0) {
    return std::wstring();
  }
  text.resize(read / sizeof(wchar_t));
  return text;
}

}  // namespace quillon
