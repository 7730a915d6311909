// The commands of the tlg tool, each over a batch of files (see batch.h).
#pragma once

#include <string>
#include <vector>

#include "encoder/tlg0_writer.h"

struct CommandOptions {
  std::vector<std::string> files;
  std::string output;     // -o: the one output of a single input
  std::string directory;  // -d: where the outputs go
  bool force = false;     // replace outputs that already exist
  unsigned jobs = 1;      // files worked on at once
  // encode only
  std::string format = "tlg6";
  bool wrap = false;
  bool clearTransparent = false;
  TagList tags;           // --tag, over the tags from the PNG or --tags-from
  std::string tagsFrom;   // --tags-from: the TLG whose tags and wrapping to take
};

// Exit statuses: 0 when every file succeeded, 1 otherwise.
int RunInfo(const CommandOptions& options);
int RunDecode(const CommandOptions& options);
int RunEncode(const CommandOptions& options);
