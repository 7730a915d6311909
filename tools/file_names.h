// File names as the tool carries them: UTF-8 everywhere inside, turned into
// the system's own form only at the call that opens, creates or renames.
#pragma once

#include <cstdio>
#include <filesystem>
#include <string>

// std::fopen for a UTF-8 name (on Windows through the UTF-16 call, so that
// names outside the ANSI code page open too).
std::FILE* OpenFile(const std::string& path, const char* mode);

// A UTF-8 name as a path, and back.
std::filesystem::path PathOf(const std::string& path);
std::string NameOf(const std::filesystem::path& path);
