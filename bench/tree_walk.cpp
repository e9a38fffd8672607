// The floor for a depth search: a plain recursive listing of every folder below the one given, with
// nothing else done. Prints the median of the runs in milliseconds and the number
// of folders seen.
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

long Walk(const std::wstring& folder) {
  WIN32_FIND_DATAW entry;
  HANDLE find = ::FindFirstFileW((folder + L"\\*").c_str(), &entry);
  if (find == INVALID_HANDLE_VALUE) return 0;
  long folders = 0;
  do {
    if (!(entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) continue;
    if (entry.cFileName[0] == L'.' &&
        (entry.cFileName[1] == L'\0' || (entry.cFileName[1] == L'.' && entry.cFileName[2] == L'\0')))
      continue;
    ++folders;
    folders += Walk(folder + L"\\" + entry.cFileName);
  } while (::FindNextFileW(find, &entry));
  ::FindClose(find);
  return folders;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc < 2) return 2;
  const int runs = argc > 2 ? _wtoi(argv[2]) : 5;
  std::vector<double> times;
  long folders = 0;
  LARGE_INTEGER frequency;
  ::QueryPerformanceFrequency(&frequency);
  for (int i = 0; i <= runs; ++i) {  // the first run only warms the caches
    LARGE_INTEGER start, end;
    ::QueryPerformanceCounter(&start);
    folders = Walk(argv[1]);
    ::QueryPerformanceCounter(&end);
    if (i > 0)
      times.push_back(1000.0 * static_cast<double>(end.QuadPart - start.QuadPart) /
                      static_cast<double>(frequency.QuadPart));
  }
  std::sort(times.begin(), times.end());
  std::printf("%.1f %ld\n", times[times.size() / 2], folders);
  return 0;
}
