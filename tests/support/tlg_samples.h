// Encoded TLG files for tests, made by our own encoders.
#pragma once

#include <cstdint>
#include <vector>

#include "encoder/tlg0_writer.h"
#include "tests/support/test_images.h"

enum class TlgKind { kTlg5, kTlg6 };

std::vector<uint8_t> EncodeTestImage(TlgKind kind, const TestImage& image);

// A wrapped image with a "tags" chunk and another chunk after it.
std::vector<uint8_t> WrappedSample(TlgKind kind, const TestImage& image, const TagList& tags);

// Pixels the way a decode into memory delivers them (top row first).
std::vector<uint32_t> DecodeToPixels(const std::vector<uint8_t>& file, int* result);
