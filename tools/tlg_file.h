// TLG files as the command-line tool sees them: what they hold, and their
// pictures, with a one-line reason when something is wrong.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "tlg/tag_dictionary.h"
#include "tools/image_io.h"

struct TlgFileInfo {
  std::string kind;  // "TLG5", "TLG6", "TLG0 (TLG5)", "TLG0 (TLG6)"
  uint32_t colours = 0;
  uint32_t width = 0;
  uint32_t height = 0;
  TagDictionary tags;
};

// Whole files in and out. Writing goes through a temporary file so that a
// failure never leaves a partial output behind.
bool ReadFileBytes(const std::string& path, std::vector<uint8_t>& bytes, std::string& error);

// Describes a TLG file, decoding it whole to find any damage and the tags.
bool InspectTlg(const std::vector<uint8_t>& file, TlgFileInfo& info, std::string& error);

// Whether the file starts as a TLG0 wrapper does.
bool IsWrappedTlg(const std::vector<uint8_t>& file);

// The tags of a whole, undamaged TLG file, and whether it is wrapped: unlike
// a decode, damage in the tags fails too ("cut short" or "corrupt (...)").
bool ReadWholeTags(const std::vector<uint8_t>& file, TagDictionary& tags, bool& wrapped, std::string& error);

// Decodes through the loader and its callbacks, as the plug-in does.
bool DecodeTlgFile(const std::vector<uint8_t>& file, Picture& picture, TagDictionary* tags,
                   std::string& error);
