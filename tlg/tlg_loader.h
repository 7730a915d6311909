// The single entry to decoding: recognises a TLG input (raw TLG5, raw TLG6,
// or a TLG0 wrapper around either), decodes it through the caller's
// callbacks, and walks the wrapper's chunks.
#pragma once

#include <cstdint>

#include "stream/binary_stream.h"
#include "tlg/decoder_contract.h"
#include "tlg/tag_dictionary.h"

// Decodes whatever TLG image the stream holds, from its start. With `tags`,
// the entries of the wrapper's "tags" chunks are stored there; a chunk cut
// short (which gives nothing) or malformed (whose entries before the fault
// are stored) ends them, and leaves the result as the image's.
int LoadTlg(void* context, SizeCallback sizeCallback, ScanLineCallback scanLineCallback,
            TagDictionary* tags, tZURBinaryStream& stream);

// Decodes the raw TLG5 or TLG6 image at the stream's current position.
int DecodeRawTlg(void* context, SizeCallback sizeCallback, ScanLineCallback scanLineCallback,
                 tZURBinaryStream& stream);

// What the signatures and the colour byte say, without decoding.
enum class TlgRaster { kUnknown, kTlg5, kTlg6 };
struct TlgLayout {
  bool signatureKnown = false;  // a raw signature, or a wrapper's
  bool wrapped = false;
  TlgRaster raster = TlgRaster::kUnknown;  // kUnknown: cut short, or no raw image inside
  uint32_t colours = 0;                    // 0 when cut short before it
};
TlgLayout ReadTlgLayout(tZURBinaryStream& stream);

// The "tags" chunks of a wrapper, without decoding its image: the raw image
// is skipped by its recorded length. `tags` and `hasTags` may be null. A raw
// image has none (kLoadComplete). A "tags" chunk cut short or malformed ends
// the walk as it does in LoadTlg: the entries before the damage stay, the
// result is kLoadComplete, and `damaged` (if given) is set. kLoadFailed for
// an unknown signature or a wrapper header cut short; kLoadOutOfMemory.
int ReadTlgTags(tZURBinaryStream& stream, TagDictionary* tags, bool* hasTags, bool* damaged = nullptr);

// Whether the stream starts with one of the three signatures.
bool HasTlgSignature(tZURBinaryStream& stream);

// The image's width and height, from its header alone. Outs may be null and
// are written only on success.
bool ReadImageSize(tZURBinaryStream& stream, uint32_t* width, uint32_t* height);

// The size callback of ReadImageSize: records the size and stops the decode.
struct ImageSize {
  uint32_t width;
  uint32_t height;
};
bool InfoSizeCallback(void* context, uint32_t width, uint32_t height);
