// Common's enumerations, tables, buffer routines and log writer.
#include <gtest/gtest.h>

#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <poll.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <type_traits>
#include <vector>

#include "common/Common.h"
#include "sites/twl_abi.h"
#include "tests/support/TestEnv.h"

namespace {

TEST(Enumerations, OrdinalsAndOneByteStorage) {
  EXPECT_EQ(secNone, 0);
  EXPECT_EQ(secParams, 1);
  EXPECT_EQ(secBasic, 2);
  EXPECT_EQ(srchPartNo, 0);
  EXPECT_EQ(srchDescription, 1);
  EXPECT_EQ(fltrNone, 0);
  EXPECT_EQ(fltrExact, 1);
  EXPECT_EQ(fltrPartial, 2);
  EXPECT_EQ(fltrStartsWith, 3);
  EXPECT_EQ(fgAdverts, 0);
  EXPECT_EQ(fgUpdate, 1);
  EXPECT_EQ(browDefault, 0);
  EXPECT_EQ(browDirect, 1);
  EXPECT_EQ(browOle, 2);
  // The site libraries build against their plain C header alone: its values
  // must be these, and its one-byte slot must hold the security type.
  struct TAbiRow {
    const char *Name;
    int Abi;
    int Ordinal;
  };
  const TAbiRow rows[] = {
      {"TWL_SEC_NONE", TWL_SEC_NONE, secNone},       {"TWL_SEC_PARAMS", TWL_SEC_PARAMS, secParams},
      {"TWL_SEC_BASIC", TWL_SEC_BASIC, secBasic},    {"TWL_SRCH_PARTNO", TWL_SRCH_PARTNO, srchPartNo},
      {"TWL_SRCH_DESCRIPTION", TWL_SRCH_DESCRIPTION, srchDescription},
  };
  for (const TAbiRow &row : rows)
    EXPECT_EQ(row.Abi, row.Ordinal) << row.Name;
  EXPECT_EQ(sizeof(std::invoke_result_t<TTWLGetSiteSecurityProc>), sizeof(TSecurityType));
}

TEST(Enumerations, TypeInformationNamesEveryValue) {
  struct Case {
    const TEnumInfo *Info;
    const char *Name;
    std::vector<std::string> Values;
  };
  const Case cases[] = {
      {&TypeInfo_TSecurityType, "TSecurityType", {"secNone", "secParams", "secBasic"}},
      {&TypeInfo_TSearchType, "TSearchType", {"srchPartNo", "srchDescription"}},
      {&TypeInfo_TFilterType, "TFilterType", {"fltrNone", "fltrExact", "fltrPartial", "fltrStartsWith"}},
      {&TypeInfo_TFileGroup, "TFileGroup", {"fgAdverts", "fgUpdate"}},
      {&TypeInfo_TBrowserLink, "TBrowserLink", {"browDefault", "browDirect", "browOle"}},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(c.Name);
    EXPECT_STREQ(c.Info->Name, c.Name);
    ASSERT_EQ(c.Info->Count, static_cast<int>(c.Values.size()));
    for (int i = 0; i < c.Info->Count; ++i) {
      EXPECT_EQ(GetEnumName(*c.Info, i), c.Values[static_cast<size_t>(i)]);
      EXPECT_EQ(GetEnumValue(*c.Info, c.Values[static_cast<size_t>(i)]), i);
    }
    EXPECT_STREQ(GetEnumName(*c.Info, c.Info->Count), "");
    EXPECT_STREQ(GetEnumName(*c.Info, -1), "");
    EXPECT_EQ(GetEnumValue(*c.Info, "nothing"), -1);
  }
  EXPECT_STREQ(GetEnumName(TypeInfo_TFilterType, 3), "fltrStartsWith");
  EXPECT_STREQ(EnumName(fltrStartsWith), "fltrStartsWith");
  EXPECT_STREQ(EnumName(browOle), "browOle");
  EXPECT_EQ(GetEnumValue(TypeInfo_TFilterType, "FLTREXACT"), 1);
}

TEST(EntityTables, NinePairsInOrder) {
  const TEntityTable from = {"&lt;", "&gt;", "&amp;", "&quot;", "&copy;", "&#44;", "\r", "\n", "\t"};
  const TEntityTable to = {"<", ">", "&", "\"", "\xA9", ",", "", " ", " "};
  EXPECT_EQ(spcReplace, from);
  EXPECT_EQ(spcWith, to);
  EXPECT_STREQ(TypeInfo_TEntityTable.Name, "TEntityTable");
  EXPECT_EQ(TypeInfo_TEntityTable.Count, 9);
}

TEST(strTrim, Table) {
  const std::pair<std::string, std::string> cases[] = {
      {"  ab c  ", "ab c"}, {"ab  ", "ab"}, {"  ab", "ab"}, {"    ", ""},
      {"", ""},             {"\tab\t", "\tab\t"},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(c.first);
    char buf[32];
    std::strcpy(buf, c.first.c_str());
    EXPECT_EQ(strTrim(buf), buf);
    EXPECT_EQ(std::string(buf), c.second);
  }
  EXPECT_EQ(strTrim(nullptr), nullptr);
}

TEST(StrToBuffer, Table) {
  struct Case {
    const char *Name;
    std::string Source;
    int Size;
    int Result;
    std::string Written;
  };
  const Case cases[] = {
      {"shorter", "123456789", 10, 9, "123456789"},
      {"exactly size: length plus one", "1234567890", 10, 11, "1234567890"},
      {"longer: cut, size plus one", "1234567890AB", 10, 11, "1234567890"},
      {"empty", "", 10, 0, ""},
      {"size 0", "abc", 0, 1, ""},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(c.Name);
    char buf[64];
    std::memset(buf, 'X', sizeof buf);
    EXPECT_EQ(StrToBuffer(buf, c.Source.c_str(), c.Size), c.Result);
    EXPECT_EQ(std::string(buf), c.Written);
    EXPECT_EQ(buf[c.Written.size() + 1], 'X') << "wrote past the terminator";
  }
}

TEST(StrToBuffer, NegativeSizeWritesNothing) {
  char buf[8];
  std::memset(buf, 'X', sizeof buf);
  EXPECT_EQ(StrToBuffer(buf, "abc", -1), 0);
  EXPECT_EQ(std::string(buf, sizeof buf), std::string(8, 'X'));
}

TEST(Log, AppendsLinesBelowTheDriveFolder) {
  kvtest::IsolatedEnv env;
  kvtest::WriteFile(env / "c/TEMP/keep", "");
  Log("first");
  Log("second");
  EXPECT_EQ(kvtest::ReadFile(env / "c/TEMP/log.txt"), "first\r\nsecond\r\n");
}

TEST(Log, AppendsToAnExistingFileOfAnotherCase) {
  kvtest::IsolatedEnv env;
  kvtest::WriteFile(env / "c/temp/Log.TXT", "old\r\n");
  Log("new");
  EXPECT_EQ(kvtest::ReadFile(env / "c/temp/Log.TXT"), "old\r\nnew\r\n");
}

TEST(Log, DropsTheLineWhenTheFolderIsMissing) {
  kvtest::IsolatedEnv env;
  EXPECT_NO_THROW(Log("lost"));
  EXPECT_FALSE(kvtest::FileExists(env / "c/temp/log.txt"));
  EXPECT_FALSE(kvtest::FileExists(env / "c/temp"));
}

TEST(Log, DropsTheLineWhenTheFileCannotBeOpened) {
  kvtest::IsolatedEnv env;
  // A folder where the file should be: no user, not even root, can append.
  kvtest::WriteFile(env / "c/temp/log.txt/keep", "");
  EXPECT_NO_THROW(Log("lost"));
  EXPECT_EQ(kvtest::ReadFile(env / "c/temp/log.txt/keep"), "");
}

// The log is appended to as a save would find it: in a shared folder a link
// another user put there is not followed, and a FIFO is not opened.
TEST(Log, AppendsOnlyWhereASaveWould) {
  enum class TKind { PlantedToMissing, PlantedToFile, Fifo };
  const struct {
    const char *Name;
    TKind Kind;
  } Rows[] = {{"another user's link to a name not there yet", TKind::PlantedToMissing},
              {"another user's link to a file", TKind::PlantedToFile},
              {"a FIFO", TKind::Fifo}};
  std::string Skipped;
  for (const auto &Row : Rows) {
    SCOPED_TRACE(Row.Name);
    kvtest::IsolatedEnv env;
    const std::string Folder = env / "c/temp", LogFile = Folder + "/log.txt", Notes = env / "notes.txt";
    std::filesystem::create_directories(Folder);
    chmod(Folder.c_str(), 01777);
    int Reader = -1;
    if (Row.Kind == TKind::Fifo) {
      ASSERT_EQ(mkfifo(LogFile.c_str(), 0644), 0);
      // Held open, so that a writer would get in at once.
      Reader = open(LogFile.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
      ASSERT_GE(Reader, 0);
    } else {
      if (Row.Kind == TKind::PlantedToFile)
        kvtest::WriteFile(Notes, "notes");
      ASSERT_EQ(symlink(Notes.c_str(), LogFile.c_str()), 0);
      if (lchown(LogFile.c_str(), 65534, 65534) != 0) {
        Skipped += std::string(Skipped.empty() ? "" : "; ") + Row.Name + ": only root can plant another user's link";
        continue;
      }
    }
    EXPECT_NO_THROW(Log("line"));
    if (Row.Kind == TKind::Fifo) {
      // On a reading end no writer ever had, Linux reports neither data nor a hang-up.
      pollfd P{Reader, POLLIN, 0};
      EXPECT_EQ(poll(&P, 1, 0), 0) << "the FIFO was opened to be written";
      close(Reader);
    } else if (Row.Kind == TKind::PlantedToFile) {
      EXPECT_EQ(kvtest::ReadFile(Notes), "notes");
    } else {
      EXPECT_FALSE(std::filesystem::exists(Notes)) << "made where the link points";
    }
  }
  if (!Skipped.empty())
    GTEST_SKIP() << "the other cases passed; not tested here: " << Skipped;
}

}  // namespace
