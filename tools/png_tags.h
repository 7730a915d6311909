// The tags of a wrapped TLG picture as PNG text chunks, so that they come
// back when the PNG is encoded again.
//
// A wrapped picture gets an iTXt chunk "tlg" (text "wrapped"), and each tag
// an iTXt chunk "tlg:KEY" whose text is the value:
// - in KEY, every byte other than the printable ASCII characters ! to ~,
//   and % itself, is written %HH (two upper-case hex digits);
// - in the value, %, the control characters other than tab and line feed,
//   and every byte that is not part of well-formed UTF-8 are written %HH.
// A keyword may hold 79 bytes: when "tlg:" and the written key are longer,
// the keyword holds their first 79 bytes and the chunk's translated keyword
// the whole written key. Reading undoes this: a % not followed by two hex
// digits stands for itself, and tEXt or zTXt chunks so named count too
// (their Latin-1 text taken as such). Any other text chunk is no tag.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "encoder/tlg0_writer.h"
#include "tlg/tag_dictionary.h"
#include "tools/image_io.h"

// The chunks of a picture: wrapped, with these tags.
std::vector<PngText> TagsToPngTexts(const TagDictionary& tags);

// Whether a text chunk's keyword is one of ours (a PngTextFilter).
bool IsTagKeyword(const char* keyword, size_t length);

struct PngTags {
  bool wrapped = false;  // a "tlg" or "tlg:" chunk was found
  TagList tags;          // in file order; a later chunk for a key wins
};
PngTags TagsFromPngTexts(const std::vector<PngText>& texts);

// Sets each of `changes` in `tags`: a key already there takes the new value
// in its place, a new key goes at the end.
void MergeTags(TagList& tags, const TagList& changes);
