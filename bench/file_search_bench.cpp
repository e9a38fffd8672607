// Times a file search with depth 3 for a name that is nowhere in the tree below the folder given, so
// that the search visits every folder it may; prints the median of the runs in milliseconds.
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "chainer/ChainerConfig.h"
#include "chainer/evaluation/Prerequisite.h"
#include "chainer/evaluation/Search.h"

int wmain(int argc, wchar_t** argv) {
  if (argc < 2) return 2;
  const int runs = argc > 2 ? _wtoi(argv[2]) : 5;
  quillon::SearchEntry entry;
  entry.SearchType = 0;
  entry.SearchString = std::wstring(argv[1]) + L"\\absent-from-tree.dll?3";
  quillon::ChainerConfig config;
  std::vector<double> times;
  LARGE_INTEGER frequency;
  ::QueryPerformanceFrequency(&frequency);
  for (int i = 0; i <= runs; ++i) {  // the first run only warms the caches
    std::vector<quillon::FoundItem> items;
    LARGE_INTEGER start, end;
    ::QueryPerformanceCounter(&start);
    const bool found = quillon::RunSearches({entry}, items, 0, false, config);
    ::QueryPerformanceCounter(&end);
    if (found) return 3;
    if (i > 0)
      times.push_back(1000.0 * static_cast<double>(end.QuadPart - start.QuadPart) /
                      static_cast<double>(frequency.QuadPart));
  }
  std::sort(times.begin(), times.end());
  std::printf("%.1f\n", times[times.size() / 2]);
  return 0;
}
