// The Windows entry point: the same run as main.cpp, with the arguments taken
// as UTF-16 and handed to the driver as UTF-8, like every text in the tool.
#include <windows.h>
#include <fcntl.h>
#include <io.h>

#include <cstdio>
#include <vector>

#include "corvane/htext.h"
#include "console/run_driver.h"
#include "image/image.h"

int wmain(int argc, wchar_t** argv) {
  // Text mode would turn every "\n" into "\r\n"; the console shows the same
  // bytes as on POSIX, and the tests compare them.
  _setmode(_fileno(stdout), _O_BINARY);
  // Those bytes are UTF-8; a console shows them so only in code page 65001.
  // (It changes nothing for output that goes to a file or a pipe.)
  SetConsoleOutputCP(CP_UTF8);
  const velmora::ImageLibrary images;
  std::vector<corvane::htext> texts;
  texts.reserve(static_cast<size_t>(argc));
  for (int i = 0; i < argc; ++i) {
    static_assert(sizeof(wchar_t) == sizeof(char16_t), "Windows wide text is UTF-16");
    texts.push_back(corvane::htext::fromWide(reinterpret_cast<const char16_t*>(argv[i])));
  }
  std::vector<const char*> pointers;
  for (const corvane::htext& text : texts) pointers.push_back(text.c_str());
  pointers.push_back(nullptr);
  return velmora::runDriver(argc, pointers.data());
}
