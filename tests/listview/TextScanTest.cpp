// The quick look for special bytes the exports use: the same answer as a
// plain loop, whatever the length, the place of the byte, or what the
// string's buffer holds beyond its end.
#include <gtest/gtest.h>

#include <random>

#include "components/TextScan.h"

using namespace kv;

namespace {

bool Naive(const std::string &S, const char (&B)[4]) {
  return S.find_first_of(std::string(B, 4)) != std::string::npos;
}

struct ByteSet {
  const char *Name;
  char Bytes[4];
};

void PrintTo(const ByteSet &C, std::ostream *Os) { *Os << C.Name; }

const ByteSet kSets[] = {
    {"Csv", {',', '"', '\r', '\n'}},
    {"Semicolons", {';', '"', '\r', '\n'}},
    {"Html", {'&', '<', '>', '"'}},
    {"HighAndNul", {'\x80', '\xFF', '\0', '\x7F'}},
};

class HasAnyByteTest : public ::testing::TestWithParam<ByteSet> {};

TEST_P(HasAnyByteTest, EachByteAtEachPlace) {
  const char(&b)[4] = GetParam().Bytes;
  for (size_t len = 0; len <= 40; ++len) {
    const std::string plain(len, 'x');
    EXPECT_FALSE(HasAnyByte(plain, b[0], b[1], b[2], b[3])) << len;
    for (size_t at = 0; at < len; ++at)
      for (char c : b) {
        std::string s = plain;
        s[at] = c;
        ASSERT_TRUE(HasAnyByte(s, b[0], b[1], b[2], b[3])) << "length " << len << " at " << at;
      }
  }
}

// A string cut short keeps the old bytes in its buffer; they are not its
// text.
TEST_P(HasAnyByteTest, NothingBeyondTheEnd) {
  const char(&b)[4] = GetParam().Bytes;
  for (size_t len : {0, 1, 3, 7, 8, 9, 15, 16, 17, 30}) {
    for (size_t keep = 0; keep < len; ++keep) {
      std::string s(len, b[keep % 4]);
      s.replace(0, keep, std::string(keep, 'x'));
      s.resize(keep);
      ASSERT_FALSE(HasAnyByte(s, b[0], b[1], b[2], b[3])) << "length " << len << " kept " << keep;
    }
  }
}

// Random texts over the bytes that trouble byte-parallel tests: the four
// themselves, their neighbours, zero and the high bytes.
TEST_P(HasAnyByteTest, SameAsAPlainLoop) {
  const char(&b)[4] = GetParam().Bytes;
  std::string alphabet = "x\x01\x7F\x80\xFF";
  alphabet += '\0';
  for (char c : b) {
    alphabet += static_cast<char>(c + 1);
    alphabet += static_cast<char>(c - 1);
  }
  std::mt19937 rng(7);
  for (int i = 0; i < 20000; ++i) {
    std::string s(rng() % 24, 'x');
    for (char &c : s)
      c = alphabet[rng() % alphabet.size()];
    if (!s.empty() && rng() % 3 == 0)
      s[rng() % s.size()] = b[rng() % 4];
    ASSERT_EQ(HasAnyByte(s, b[0], b[1], b[2], b[3]), Naive(s, b)) << "case " << i;
  }
}

INSTANTIATE_TEST_SUITE_P(Sets, HasAnyByteTest, ::testing::ValuesIn(kSets),
                         [](const ::testing::TestParamInfo<ByteSet> &i) { return std::string(i.param.Name); });

}  // namespace
