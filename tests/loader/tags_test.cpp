#include <gtest/gtest.h>

#include <string>

#include "tlg/tag_dictionary.h"

namespace {

bool Parse(const std::string& text, TagDictionary& tags) {
  return ParseTags(reinterpret_cast<const uint8_t*>(text.data()),
                   static_cast<uint32_t>(text.size()), tags);
}

TEST(ParseTags, KeysAndValuesMayHoldAnyBytes) {
  TagDictionary tags;
  EXPECT_TRUE(Parse("4:name=5:hello,3:x=y=1:z,", tags));
  EXPECT_EQ(tags.size(), 2u);
  EXPECT_EQ(tags["name"], "hello");
  EXPECT_EQ(tags["x=y"], "z");

  TagDictionary binary;
  EXPECT_TRUE(Parse(std::string("3:a\0,=2::=,", 11), binary));
  EXPECT_EQ(binary[std::string("a\0,", 3)], ":=");
}

TEST(ParseTags, EmptyDigitRunsMeanZero) {
  TagDictionary tags;
  EXPECT_TRUE(Parse(":=:,", tags));
  ASSERT_EQ(tags.size(), 1u);
  EXPECT_EQ(tags[""], "");
  TagDictionary none;
  EXPECT_TRUE(Parse("", none));
  EXPECT_TRUE(none.empty());
}

TEST(ParseTags, LaterEntryForAKeyWins) {
  TagDictionary tags;
  EXPECT_TRUE(Parse("1:k=1:a,1:k=2:bb,", tags));
  EXPECT_EQ(tags["k"], "bb");
}

TEST(ParseTags, SyntaxErrorKeepsEarlierEntries) {
  const char* const broken[] = {
      "4:name=5:hello,3:abc",           // ends inside an entry
      "4:name=5:hello,3;abc=1:z,",      // wrong separator
      "4:name=5:hello,3:abc=1:zz",      // value longer than its length, no comma
      "4:name=5:hello,9:abc=1:z,",      // key length past the end
      "4:name=5:hello,1:k=99999:z,",    // value length past the end
      "4:name=5:hello,4294967296:k=1:z,",  // length does not fit in 32 bits
  };
  for (const char* text : broken) {
    TagDictionary tags;
    EXPECT_FALSE(Parse(text, tags)) << text;
    EXPECT_EQ(tags.size(), 1u) << text;
    EXPECT_EQ(tags["name"], "hello") << text;
  }
}

}  // namespace
