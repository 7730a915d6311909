// Everything the tool prints goes through here, so that file names outside
// the ANSI code page read right on a Windows console: UTF-16 to the console,
// UTF-8 bytes to files and pipes (and everywhere on other systems).
#pragma once

#include <cstdio>
#include <string>

// Writes UTF-8 `text` to stdout or stderr.
void Print(std::FILE* stream, const std::string& text);

// Whether `stream` is a terminal that understands the escapes which redraw
// a line in place.
bool IsTerminal(std::FILE* stream);
