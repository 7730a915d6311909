#include "tools/console.h"

#ifdef _WIN32
#include <windows.h>

#include <algorithm>

#include "tools/file_names.h"
#else
#include <unistd.h>
#endif

namespace {

#ifdef _WIN32
// Older consoles refuse a single write much longer than this.
constexpr size_t kMostConsoleChars = 8192;

HANDLE HandleOf(std::FILE* stream) { return GetStdHandle(stream == stdout ? STD_OUTPUT_HANDLE : STD_ERROR_HANDLE); }

bool IsConsole(std::FILE* stream) {
  DWORD mode;
  return GetConsoleMode(HandleOf(stream), &mode) != 0;
}

// Consoles before Windows 10 print the escapes as they are; one that takes
// them only when asked is asked.
bool TakesEscapes(std::FILE* stream) {
  const HANDLE console = HandleOf(stream);
  DWORD mode;
  if (!GetConsoleMode(console, &mode)) return false;
  return (mode & ENABLE_VIRTUAL_TERMINAL_PROCESSING) != 0 ||
         SetConsoleMode(console, mode | ENABLE_VIRTUAL_TERMINAL_PROCESSING) != 0;
}
#endif

}  // namespace

void Print(std::FILE* stream, const std::string& text) {
#ifdef _WIN32
  if (IsConsole(stream)) {
    std::fflush(stream);
    const std::wstring wide = WideOf(text);
    for (size_t done = 0; done < wide.size();) {
      size_t count = std::min(wide.size() - done, kMostConsoleChars);
      // A pair of surrogates stays in one piece.
      if (count > 1 && done + count < wide.size() && IS_HIGH_SURROGATE(wide[done + count - 1])) --count;
      DWORD written = 0;
      if (!WriteConsoleW(HandleOf(stream), wide.data() + done, static_cast<DWORD>(count), &written, nullptr) ||
          written == 0) {
        return;
      }
      done += written;
    }
    return;
  }
#endif
  std::fwrite(text.data(), 1, text.size(), stream);
  std::fflush(stream);
}

bool IsTerminal(std::FILE* stream) {
#ifdef _WIN32
  return TakesEscapes(stream);
#else
  return isatty(fileno(stream)) != 0;
#endif
}
