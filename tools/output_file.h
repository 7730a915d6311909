// Output files that appear whole or not at all.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

// Calls `write` with a temporary name beside `path`, then renames it into
// place; on failure the temporary file is removed and `error` says why.
bool WriteOutputFile(const std::string& path, std::string& error,
                     const std::function<bool(const std::string&, std::string&)>& write);

bool WriteFileBytes(const std::string& path, const std::vector<uint8_t>& bytes, std::string& error);
