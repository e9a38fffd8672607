// Writes entries through the real logger (every write flushed) and prints how many per second.
#include <windows.h>

#include <cstdio>
#include <string>

#include "platform/core/Logger.h"

int main(int argc, char** argv) {
  const int count = argc > 1 ? std::atoi(argv[1]) : 20000;
  wchar_t temp[MAX_PATH + 1];
  ::GetTempPathW(MAX_PATH + 1, temp);
  const std::wstring path = std::wstring(temp) + L"logger-bench-" + std::to_wstring(::GetCurrentProcessId()) + L".log";
  double seconds = 0;
  {
    quillon::Logger logger;
    quillon::Logger::Environment environment;
    environment.debugOutput = [](const std::wstring&) {};
    logger.SetEnvironmentForTesting(environment);
    logger.SetLogFile(path);
    logger.Log(L"Searching for:warm-up");  // opens the file and writes the header
    LARGE_INTEGER frequency, start, end;
    ::QueryPerformanceFrequency(&frequency);
    ::QueryPerformanceCounter(&start);
    for (int i = 0; i < count; ++i) logger.Log(L"Search result:No acceptable version found. Entry " + std::to_wstring(i));
    ::QueryPerformanceCounter(&end);
    seconds = static_cast<double>(end.QuadPart - start.QuadPart) / static_cast<double>(frequency.QuadPart);
  }
  ::DeleteFileW(path.c_str());
  std::printf("logger_entries_per_second %.0f (%d entries in %.3f s)\n", count / seconds, count, seconds);
  return 0;
}
