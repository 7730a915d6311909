// Work over many files, on one thread or several, reported as if done one
// by one: each file's messages in input order, a progress line on a
// terminal, and a summary for many files.
#pragma once

#include <functional>
#include <string>
#include <vector>

// What one file printed: standard output and standard error, held back so
// that files done side by side still print in input order.
struct FileReport {
  bool ok = true;
  std::string out;
  std::string err;
};

// One line on standard error naming `file` and `reason`; the file has failed.
void Fail(FileReport& report, const std::string& file, const std::string& reason);

// The number of files worked on at once when the caller does not say.
unsigned DefaultJobs();

// The work on one file.
using FileWork = std::function<void(const std::string&, FileReport&)>;

// Runs `one` over every file, `jobs` at a time. Returns 0 when every file
// succeeded, 1 otherwise. `one` must be safe to call from several threads.
int RunBatch(const char* verb, const std::vector<std::string>& files, unsigned jobs,
             const FileWork& one);
