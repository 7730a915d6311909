#include "tools/batch.h"

#include <atomic>
#include <condition_variable>
#include <cstdio>
#include <mutex>
#include <new>
#include <system_error>
#include <thread>

#include "tools/console.h"

namespace {

bool OnTerminal() {
  static const bool terminal = IsTerminal(stderr);
  return terminal;
}

// The progress line names the file the batch waits for.
void ShowProgress(size_t index, size_t total, const std::string& file) {
  if (OnTerminal() && total > 1) {
    Print(stderr, "\r\033[K[" + std::to_string(index + 1) + "/" + std::to_string(total) + "] " + file);
  }
}

void ClearProgress(size_t total) {
  if (OnTerminal() && total > 1) Print(stderr, "\r\033[K");
}

void RunOne(const FileWork& one, const std::string& file,
            FileReport& report) {
  try {
    one(file, report);
  } catch (const std::bad_alloc&) {
    Fail(report, file, "too large to hold in memory");
  } catch (const std::exception& e) {
    Fail(report, file, e.what());
  }
}

void PrintReport(const FileReport& report) {
  Print(stdout, report.out);
  Print(stderr, report.err);
}

// Files handed out one at a time to worker threads; the caller's thread
// prints each report once it and every report before it are done.
class ParallelBatch {
 public:
  ParallelBatch(const std::vector<std::string>& files,
                const FileWork& one)
      : files_(files), one_(one), reports_(files.size()), done_(files.size(), 0) {}

  ~ParallelBatch() {
    next_ = files_.size();  // workers stop after their current file
    for (std::thread& worker : workers_) worker.join();
  }

  // Starts up to `jobs` workers; false when not even one could be had.
  bool Start(unsigned jobs) {
    for (unsigned i = 0; i < jobs; ++i) {
      try {
        workers_.emplace_back([this] { Work(); });
      } catch (const std::system_error&) {
        break;
      }
    }
    return !workers_.empty();
  }

  FileReport& WaitFor(size_t index) {
    std::unique_lock<std::mutex> lock(mutex_);
    doneChanged_.wait(lock, [&] { return done_[index] != 0; });
    return reports_[index];
  }

 private:
  void Work() {
    for (size_t i; (i = next_++) < files_.size();) {
      FileReport report;
      RunOne(one_, files_[i], report);
      std::lock_guard<std::mutex> lock(mutex_);
      reports_[i] = std::move(report);
      done_[i] = 1;
      doneChanged_.notify_all();
    }
  }

  const std::vector<std::string>& files_;
  const FileWork& one_;
  std::vector<FileReport> reports_;
  std::vector<char> done_;
  std::mutex mutex_;
  std::condition_variable doneChanged_;
  std::atomic<size_t> next_{0};
  std::vector<std::thread> workers_;
};

}  // namespace

void Fail(FileReport& report, const std::string& file, const std::string& reason) {
  report.ok = false;
  report.err += file + ": " + reason + "\n";
}

unsigned DefaultJobs() {
  const unsigned cores = std::thread::hardware_concurrency();
  return cores == 0 ? 1 : cores;
}

int RunBatch(const char* verb, const std::vector<std::string>& files, unsigned jobs,
             const FileWork& one) {
  const size_t total = files.size();
  ParallelBatch parallel(files, one);
  const bool sideBySide = jobs > 1 && total > 1 && parallel.Start(jobs < total ? jobs : static_cast<unsigned>(total));
  size_t failed = 0;
  for (size_t i = 0; i < total; ++i) {
    ShowProgress(i, total, files[i]);
    FileReport alone;
    if (!sideBySide) RunOne(one, files[i], alone);
    const FileReport& report = sideBySide ? parallel.WaitFor(i) : alone;
    ClearProgress(total);
    PrintReport(report);
    if (!report.ok) ++failed;
  }
  if (total > 1) {
    Print(stderr, std::string(verb) + " " + std::to_string(total - failed) + " of " + std::to_string(total) + " files" +
                      (failed != 0 ? ", " + std::to_string(failed) + " failed" : "") + "\n");
  }
  return failed == 0 ? 0 : 1;
}
