// The "tags" chunk of a TLG0 wrapper: entries of the form
// <key length>:<key>=<value length>:<value>, with lengths in decimal.
#pragma once

#include <cstdint>
#include <map>
#include <string>

// Byte strings to byte strings; a later entry for a key replaces the earlier.
typedef std::map<std::string, std::string> TagDictionary;

// Stores the entries of `data` into `tags` up to the first syntax error.
// Returns false on a syntax error (entries before it stay stored). A length
// that reaches past the data, or does not fit in 32 bits, is a syntax error.
// May throw std::bad_alloc.
bool ParseTags(const uint8_t* data, uint32_t size, TagDictionary& tags);
