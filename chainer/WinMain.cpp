// The process entry: the chainer reads no command line; its configuration file drives it.
#include <windows.h>

#include "chainer/ChainerApp.h"
#include "chainer/ui/WindowModule.h"
#include "platform/core/Holders.h"
#include "platform/core/SystemLibraries.h"

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
  quillon::RestrictLibrarySearchToSystemFolder();  // before anything can load a library
  int exitCode = 0;
  {
    quillon::ComApartment com;
    // Makes sure user32's window machinery is set up for the thread before any dialog exists.
    ::DefWindowProcW(nullptr, 0, 0, 0);
    quillon::InitializeWindowModule();
    {
      quillon::ChainerApp app;
      app.Run();
      exitCode = app.ExitCode;
    }
    quillon::TerminateWindowModule();
  }
  return exitCode;
}
