#include "platform/core/Paths.h"

namespace quillon {
namespace {

constexpr wchar_t kLocalPrefix[] = L"\\\\?\\";
constexpr wchar_t kNetworkPrefix[] = L"\\\\?\\UNC\\";
constexpr wchar_t kDevicePrefix[] = L"\\\\.\\";
constexpr size_t kLongPathThreshold = 247;  // CreateDirectoryW keeps 12 of the 260 for an 8.3 name
constexpr size_t kClassicPathLimit = 260;

bool StartsWith(const std::wstring& text, const wchar_t* prefix) {
  return text.compare(0, std::char_traits<wchar_t>::length(prefix), prefix) == 0;
}

bool IsDriveLetter(wchar_t c) { return (c >= L'A' && c <= L'Z') || (c >= L'a' && c <= L'z'); }

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

size_t NormalizeSlashes(std::wstring& path) {
  size_t changed = 0;
  for (wchar_t& c : path) {
    if (c == L'/') {
      c = L'\\';
      ++changed;
    }
  }
  return changed;
}

bool IsAbsolutePath(const std::wstring& path) {
  if (path.size() < 2) return false;
  return (path[0] == L'\\' && path[1] == L'\\') || (IsDriveLetter(path[0]) && path[1] == L':');
}

bool IsNetworkPath(const std::wstring& path) {
  // Decided here rather than by PathIsUNCW: Wine's answers it "yes" for "\\?\C:\..." too, which
  // would turn a long local path into a network one.
  if (StartsWith(path, kNetworkPrefix)) return true;
  if (StartsWith(path, kLocalPrefix) || StartsWith(path, kDevicePrefix)) return false;
  return StartsWith(path, L"\\\\");
}

bool HasLongPrefix(const std::wstring& path) { return StartsWith(path, kLocalPrefix); }

std::vector<std::wstring> SplitPath(const std::wstring& path) {
  std::wstring prefix;
  if (StartsWith(path, kNetworkPrefix)) {
    prefix = kNetworkPrefix;
  } else if (StartsWith(path, kLocalPrefix)) {
    prefix = kLocalPrefix;
  }
  const std::wstring rest = path.substr(prefix.size());

  std::vector<std::wstring> components;
  // A network path's first component keeps its two leading backslashes and the server name.
  const size_t searchFrom = StartsWith(rest, L"\\\\") ? 2 : 0;
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

std::wstring WithLongPrefix(const std::wstring& path) {
  if (path.size() < kClassicPathLimit || HasLongPrefix(path)) return path;
  return kLocalPrefix + path;
}

std::wstring ToLongPath(const std::wstring& path) {
  if (path.size() <= kLongPathThreshold || !IsAbsolutePath(path)) return path;
  if (HasLongPrefix(path) || StartsWith(path, kDevicePrefix)) return path;
  if (IsNetworkPath(path)) return kNetworkPrefix + path.substr(2);
  return kLocalPrefix + path;
}

std::wstring FromLongPath(const std::wstring& path) {
  if (StartsWith(path, kNetworkPrefix)) return L"\\\\" + path.substr(8);
  if (StartsWith(path, kLocalPrefix)) return path.substr(4);
  return path;
}

}  // namespace quillon
