// The Windows-1252 <-> QString pair.
#include <gtest/gtest.h>

#include <QString>
#include <string>

#include "platform/qt/Codepage.h"

namespace {

using namespace kv;

TEST(Codepage, HighBytesOfWindows1252) {
  const std::pair<unsigned char, char16_t> cases[] = {
      {0x80, 0x20AC}, {0x85, 0x2026}, {0x8A, 0x0160}, {0x92, 0x2019}, {0x96, 0x2013},
      {0x99, 0x2122}, {0x9F, 0x0178}, {0xA0, 0x00A0}, {0xA9, 0x00A9}, {0xE9, 0x00E9},
      {0xFF, 0x00FF}, {0x41, 0x0041}, {0x00, 0x0000},
      // The five bytes Windows-1252 leaves undefined stand for the C1 controls.
      {0x81, 0x0081}, {0x8D, 0x008D}, {0x8F, 0x008F}, {0x90, 0x0090}, {0x9D, 0x009D},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(static_cast<int>(c.first));
    const QString q = FromAnsi(std::string(1, static_cast<char>(c.first)));
    ASSERT_EQ(q.size(), 1);
    EXPECT_EQ(q[0].unicode(), c.second);
    EXPECT_EQ(ToAnsi(QString(QChar(c.second))), std::string(1, static_cast<char>(c.first)));
  }
}

TEST(Codepage, EveryByteRoundTrips) {
  std::string all;
  for (int b = 0; b < 256; ++b)
    all += static_cast<char>(b);
  const QString q = FromAnsi(all);
  EXPECT_EQ(q.size(), 256);
  EXPECT_EQ(ToAnsi(q), all);
}

TEST(Codepage, UnmappedCharactersBecomeAQuestionMark) {
  const std::pair<QString, std::string> cases[] = {
      {QString(QChar(0x0100)), "?"},                   // Latin A with macron
      {QString(QChar(0x0080)), "?"},                   // C1 control under the euro's byte
      {QString(QChar(0x4E2D)), "?"},                   // a CJK character
      {QString::fromUtf8("a\xF0\x9F\x98\x80" "b"), "a?b"},  // one character beyond the BMP
      {QString(QChar(0xD800)), "?"},                   // a lone surrogate
      {QString::fromUtf8("\xE2\x82\xAC" "5"), "\x80" "5"},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(c.first.toStdString());
    EXPECT_EQ(ToAnsi(c.first), c.second);
  }
}

TEST(Codepage, EmptyText) {
  EXPECT_TRUE(FromAnsi("").isEmpty());
  EXPECT_EQ(ToAnsi(QString()), "");
}

}  // namespace
