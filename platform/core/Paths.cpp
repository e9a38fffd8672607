#include "platform/core/Paths.h"

namespace quillon {
namespace {

constexpr wchar_t kLocalPrefix[] = L"\\\\?\\";
constexpr wchar_t kNetworkPrefix[] = L"\\\\?\\UNC\\";

bool StartsWith(const std::wstring& text, const wchar_t* prefix) {
  return text.compare(0, std::char_traits<wchar_t>::length(prefix), prefix) == 0;
}

}  // namespace

std::wstring GetFolderPart(const std::wstring& path) {
  const size_t slash = path.rfind(L'\\');
  return slash == std::wstring::npos ? std::wstring() : path.substr(0, slash);
}

std::wstring GetFileNamePart(const std::wstring& path) {
  const size_t slash = path.rfind(L'\\');
  return slash == std::wstring::npos ? path : path.substr(slash + 1);
}

std::wstring EnsureTrailingBackslash(const std::wstring& path) {
  if (path.empty() || path.back() == L'\\') return path;
  return path + L'\\';
}

std::wstring TrimTrailingDotsAndBlanks(const std::wstring& text) {
  size_t end = text.size();
  while (end > 0 && (text[end - 1] == L' ' || text[end - 1] == L'.')) --end;
  return text.substr(0, end);
}

bool HasLongPrefix(const std::wstring& path) { return StartsWith(path, kLocalPrefix); }

std::vector<std::wstring> SplitPath(const std::wstring& path) {
  std::wstring prefix;
  std::wstring rest = path;
  if (StartsWith(path, kNetworkPrefix)) {
    prefix = kNetworkPrefix;
  } else if (StartsWith(path, kLocalPrefix)) {
    prefix = kLocalPrefix;
  }
  rest = path.substr(prefix.size());

  std::vector<std::wstring> components;
  // A network path's first component keeps its two leading backslashes and the server name.
  size_t searchFrom = StartsWith(rest, L"\\\\") ? 2 : 0;
  size_t slash = rest.find(L'\\', searchFrom);
  if (slash == std::wstring::npos) {
    components.push_back(prefix + rest);
    return components;
  }
  components.push_back(prefix + rest.substr(0, slash));
  size_t start = slash + 1;
  for (;;) {
    slash = rest.find(L'\\', start);
    if (slash == std::wstring::npos) {
      components.push_back(rest.substr(start));
      break;
    }
    components.push_back(rest.substr(start, slash - start));
    start = slash + 1;
  }
  return components;
}

std::wstring NormalizePath(const std::wstring& path) {
  std::wstring result;
  for (const std::wstring& component : SplitPath(path)) {
    if (!result.empty() && result.back() != L']') result = EnsureTrailingBackslash(result);
    result += TrimTrailingDotsAndBlanks(component);
  }
  return result;
}

}  // namespace quillon

namespace quillon {

std::wstring WithLongPrefix(const std::wstring& path) {
  if (path.size() < 260 || HasLongPrefix(path)) return path;
  return L"\\\\?\\" + path;
}

}  // namespace quillon
