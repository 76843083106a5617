// VEXO for Windows: splits a file into pieces that fit on floppy disks and
// joins them, in a plain Win32 window.
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
#include <commctrl.h>
#include <shellapi.h>

#include <memory>

#include "file_services.h"
#include "main_form.h"
#include "registry_store.h"
#include "win32_listing.h"
#include "win32_main_view.h"

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int show) {
  // A drive without its disc answers "not ready" instead of asking the user
  // to insert one; the window reports it.
  SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX);
  // Twips become real pixels on a screen of any density.
  SetProcessDPIAware();
  INITCOMMONCONTROLSEX controls{sizeof controls, ICC_STANDARD_CLASSES | ICC_PROGRESS_CLASS | ICC_BAR_CLASSES};
  InitCommonControlsEx(&controls);

  std::unique_ptr<vexo::FileServices> files = vexo::makeSystemFileServices();
  vexo::RegistryStore settings;
  vexo::win32::Win32MainView view;
  vexo::MainForm form(view, *files, settings);
  view.create(form);
  ShowWindow(view.hwnd(), show);
  UpdateWindow(view.hwnd());
  // "vexo.exe PATH" ("Open with", a file dropped on the program's icon): that
  // file's directory, with the file chosen; nothing starts until "決　定".
  int argc = 0;
  if (LPWSTR* argv = CommandLineToArgvW(GetCommandLineW(), &argc)) {
    if (argc > 1 && argv[1][0] != L'\0') form.openPath(vexo::win32::narrow(argv[1]));
    LocalFree(argv);
  }

  MSG msg{};
  while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
    if (!view.preTranslate(msg)) {
      TranslateMessage(&msg);
      DispatchMessageW(&msg);
    }
  }
  return static_cast<int>(msg.wParam);
}
