#include <gtest/gtest.h>

#include <string>

#include "platform/text.h"

namespace {

std::u16string Widen(const char* text) {
  WCHAR buffer[64] = {};
  const int written = platform::MultiByteToWideChar(CP_ACP, 0, text, -1, buffer, 64);
  return written > 0 ? std::u16string(buffer, static_cast<size_t>(written - 1)) : u"<failed>";
}

TEST(TextTest, StricmpFoldsOnlyAsciiAndComparesUnsignedBytes) {
  EXPECT_EQ(platform::_stricmp("V4.0", "v4.0"), 0);
  EXPECT_GT(platform::_stricmp("v4.5", "V4.0"), 0);
  EXPECT_LT(platform::_stricmp("v2.0", "v4.0"), 0);
  EXPECT_NE(platform::_stricmp("\xC3\x9C", "\xC3\xBC"), 0);  // no locale folding beyond ASCII
  EXPECT_GT(platform::_stricmp("\x80", "a"), 0);             // bytes compare as unsigned
  EXPECT_LT(platform::_stricmp("ab", "abc"), 0);
}

TEST(TextTest, AsciiLowercaseLeavesOtherBytes) {
  std::string text = "V2.0-\xC3\x9C-XYZ";
  platform::AsciiLowercase(text);
  EXPECT_EQ(text, "v2.0-\xC3\x9C-xyz");
}

TEST(TextTest, MultiByteToWideCharConvertsUtf8AndReplacesInvalidBytes) {
  EXPECT_EQ(Widen("Ovk.Data.Zt4"), u"Ovk.Data.Zt4");
  EXPECT_EQ(Widen("C:\\M\xC3\xBCller"), u"C:\\M\u00FCller");
  EXPECT_EQ(Widen("a\xFF" "b"), u"a\uFFFD" "b");
  EXPECT_EQ(Widen("\xF0\x9F\x98\x80"), u"\U0001F600");
  EXPECT_EQ(Widen("x\xE2\x82"), u"x\uFFFD\uFFFD");  // truncated sequence at the end

  WCHAR small[3] = {};
  EXPECT_EQ(platform::MultiByteToWideChar(CP_ACP, 0, "abc", -1, small, 3), 0);  // no room for the terminator
  EXPECT_EQ(platform::MultiByteToWideChar(CP_ACP, 0, "abc", -1, nullptr, 0), 4);
}

}  // namespace
