// File names as the tool carries them: UTF-8 everywhere inside, turned into
// the system's own form only at the call that opens, creates or renames.
#pragma once

#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

// std::fopen for a UTF-8 name (on Windows through the UTF-16 call, so that
// names outside the ANSI code page open too).
std::FILE* OpenFile(const std::string& path, const char* mode);

// A UTF-8 name as a path, and back.
std::filesystem::path PathOf(const std::string& path);
std::string NameOf(const std::filesystem::path& path);

// Creates the folder `path` with any missing parents; false with "cannot
// create (reason)" in `error` when it cannot be had.
bool MakeFolder(const std::string& path, std::string& error);

// Windows shells hand wildcards over unexpanded: each argument whose last
// part holds * or ? becomes the files it matches (folders skipped, sorted,
// the folder part kept as given). A pattern that matches nothing stays as it
// is, for IsUnmatchedPattern to tell. Elsewhere the shell has expanded them
// already and the names are returned as given.
std::vector<std::string> ExpandWildcards(const std::vector<std::string>& arguments);
bool IsUnmatchedPattern(const std::string& file);

#ifdef _WIN32
std::wstring WideOf(const std::string& utf8);
std::string Utf8Of(const std::wstring& wide);
#endif

// Whether `path` ends in `extension` (given in lower case), whatever the case
// of its ASCII letters: .PNG is .png.
bool HasExtension(const std::string& path, const std::string& extension);
