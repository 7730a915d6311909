// Output files that appear whole or not at all, and never replace a file
// that is already there unless asked to.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

// Whether a file (or anything else) already stands at `path`.
bool OutputExists(const std::string& path);

// Calls `write` with a fresh temporary name beside `path`, then moves it into
// place. Without `replace`, a file that appeared at `path` meanwhile is left
// alone and the write fails. On failure the temporary file is removed and
// `error` says why.
bool WriteOutputFile(const std::string& path, bool replace, std::string& error,
                     const std::function<bool(const std::string&, std::string&)>& write);

bool WriteFileBytes(const std::string& path, const std::vector<uint8_t>& bytes, std::string& error);

// The reason of the last failed C library call, as "(reason)".
std::string SystemReason();
