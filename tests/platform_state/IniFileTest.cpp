#include "platform/IniFile.h"

#include <dirent.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "platform/SysUtils.h"
#include "tests/support/SaveTargets.h"
#include "tests/support/TestEnv.h"

using namespace kv;

namespace {

class IniFileTest : public ::testing::Test {
protected:
  kvtest::IsolatedEnv Env;
  std::string Path() const { return Env / "cwd/test.ini"; }
};

struct ReadRow {
  const char *Name;
  const char *File;
  const char *Section;
  const char *Key;
  std::string Expected;
};

std::string Keys(TStrings &S) {
  std::string out;
  for (int i = 0; i < S.Count(); ++i)
    out += (i ? "|" : "") + S[i];
  return out;
}

}  // namespace

TEST_F(IniFileTest, ReadsAsTheWindowsProfileFunctionsDo) {
  const ReadRow rows[] = {
      {"plain", "[S]\nk=v\n", "S", "k", "v"},
      {"blanks around key and value", "[S]\n  k \t=  v w \t\n", "S", "k", "v w"},
      {"double quotes stripped", "[S]\nk=\" v \"\n", "S", "k", " v "},
      {"single quotes stripped", "[S]\nk=' v '\n", "S", "k", " v "},
      {"only one pair stripped", "[S]\nk=\"\"v\"\"\n", "S", "k", "\"v\""},
      {"unmatched quote kept", "[S]\nk=\"v\n", "S", "k", "\"v"},
      {"mixed quotes kept", "[S]\nk=\"v'\n", "S", "k", "\"v'"},
      {"names ignore case", "[sEcTiOn]\nKEY=v\n", "Section", "key", "v"},
      {"blanks in section header", "[ S ]\nk=v\n", "S", "k", "v"},
      {"first key wins", "[S]\nk=1\nK=2\n", "S", "k", "1"},
      {"first section wins", "[S]\na=1\n[s]\nb=2\n", "S", "b", "default"},
      {"missing key", "[S]\nk=v\n", "S", "x", "default"},
      {"missing section", "[S]\nk=v\n", "T", "k", "default"},
      {"key before any section", "k=v\n[S]\n", "S", "k", "default"},
      {"crlf lines", "[S]\r\nk=v\r\nj=w\r\n", "S", "k", "v"},
      {"no final line end", "[S]\nk=v", "S", "k", "v"},
      {"backslash in names", "[SiteDetailsLIB\\SHOP.TWL]\nSiteLIB\\SHOP.TWL=1\n", "SiteDetailsLib\\Shop.twl",
       "sitelib\\shop.twl", "1"},
      {"equals sign in value", "[S]\nk=a=b\n", "S", "k", "a=b"},
      {"comment is no key", "[S]\n;k=v\n", "S", ";k", "default"},
      {"line without equals sign", "[S]\nk\n", "S", "k", "default"},
      {"empty value", "[S]\nk=\n", "S", "k", ""},
      {"caret in a plain value", "[S]\nk=a^Mb^^\n", "S", "k", "a^Mb^^"},
      {"caret pairs in quotes", "[S]\nk=\"a^Mb^Jc^@d^^e^x\"\n", "S", "k", std::string("a\rb\nc\0d^e^x", 11)},
  };
  for (const auto &row : rows) {
    SCOPED_TRACE(row.Name);
    kvtest::WriteFile(Path(), row.File);
    TIniFile ini(Path());
    EXPECT_EQ(ini.ReadString(row.Section, row.Key, "default"), row.Expected);
  }
}

TEST_F(IniFileTest, AReadStopsAt1023Characters) {
  kvtest::WriteFile(Path(), "[S]\nk=" + std::string(2000, 'x') + "\nq=\"" + std::string(1500, 'y') + "\"\n");
  TIniFile ini(Path());
  EXPECT_EQ(ini.ReadString("S", "k", ""), std::string(1023, 'x'));
  EXPECT_EQ(ini.ReadString("S", "q", ""), std::string(1023, 'y'));
  EXPECT_EQ(ini.ReadString("S", "none", std::string(1100, 'z')), std::string(1023, 'z'));
}

// A missing file is missing however it is reached, also through a link
// into a folder that is not there.
TEST_F(IniFileTest, AMissingFileGivesDefaultsAndIsNotCreatedByReads) {
  for (const bool Linked : {false, true}) {
    SCOPED_TRACE(Linked ? "link into a missing folder" : "missing file");
    std::filesystem::remove(Path());
    if (Linked) {
      ASSERT_EQ(symlink("gone/test.ini", Path().c_str()), 0);
    }
    TIniFile ini(Path());
    EXPECT_EQ(ini.ReadString("S", "k", "d"), "d");
    EXPECT_EQ(ini.ReadInteger("S", "k", 5), 5);
    TStringList l;
    l.Add("stale");
    ini.ReadSections(l);
    EXPECT_EQ(l.Count(), 0);
    EXPECT_NO_THROW(ini.EraseSection("S"));
    EXPECT_NO_THROW(ini.DeleteKey("S", "k"));
    EXPECT_FALSE(kvtest::FileExists(Path()));
    EXPECT_FALSE(std::filesystem::exists(Env / "cwd/gone"));
  }
}

TEST_F(IniFileTest, NumbersAndFlags) {
  kvtest::WriteFile(Path(), "[S]\none=1\nzero=0\ntwo=2\nword=abc\nhex=0x10\nneg=-7\nblank=\n");
  TIniFile ini(Path());
  struct Row {
    const char *Key;
    bool Default, Bool;
    int Int;
  } rows[] = {
      {"one", false, true, 1},  {"zero", true, false, 0},   {"two", false, true, 2},
      {"word", true, true, 99}, {"word", false, false, 99}, {"hex", false, true, 16},
      {"neg", false, true, -7}, {"blank", true, true, 99},  {"missing", false, false, 99},
  };
  for (const auto &row : rows) {
    SCOPED_TRACE(std::string(row.Key) + (row.Default ? " default true" : " default false"));
    EXPECT_EQ(ini.ReadBool("S", row.Key, row.Default), row.Bool);
    EXPECT_EQ(ini.ReadInteger("S", row.Key, 99), row.Int);
  }
  ini.WriteBool("T", "on", true);
  ini.WriteBool("T", "off", false);
  ini.WriteInteger("T", "n", -12);
  EXPECT_NE(kvtest::ReadFile(Path()).find("[T]\r\non=1\r\noff=0\r\nn=-12\r\n"), std::string::npos);
}

TEST_F(IniFileTest, AwkwardValuesReadBackExactly) {
  std::string all;
  for (int c = 1; c < 256; ++c)
    all += static_cast<char>(c);
  const std::string rows[] = {
      " leading",   "trailing ",   "\tboth\t",   "\"quoted\"", "'single'",   "\"",      "'", "\"open",
      "close'",     "a\r\nb",      "line\n",     std::string("nul\0mid", 7), "^M",      "^", "a^^b",
      " ^J ",       all,           "\xE9t\xE9",  "x",          "",
  };
  TIniFile ini(Path());
  for (size_t i = 0; i < std::size(rows); ++i)
    ini.WriteString("Awkward", Format("k%zu", i), rows[i]);
  // Every value is one line of the file.
  TStringList keys;
  ini.ReadSection("Awkward", keys);
  EXPECT_EQ(keys.Count(), static_cast<int>(std::size(rows)));
  for (size_t i = 0; i < std::size(rows); ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(ini.ReadString("Awkward", Format("k%zu", i), "?"), rows[i]);
  }
}

TEST_F(IniFileTest, OrdinaryValuesAreWrittenPlainly) {
  TIniFile ini(Path());
  ini.WriteString("Currency", "CurrencyUSD", "0.00");
  ini.WriteString("Currency", "Scrambled", "a\"b^c 'd");
  ini.WriteString("Currency", "Blank", " x");
  EXPECT_EQ(kvtest::ReadFile(Path()), "[Currency]\r\nCurrencyUSD=0.00\r\nScrambled=a\"b^c 'd\r\nBlank=\" x\"\r\n");
}

TEST_F(IniFileTest, WritesKeepOrderCommentsAndUnknownLines) {
  kvtest::WriteFile(Path(),
                    "; installation file\n"
                    "[Sites]\n"
                    "SiteLIB\\A.TWL=1\n"
                    "odd line\n"
                    "\n"
                    "[Currency]\n"
                    "; rates\n"
                    "CurrencyUSD = 1.5\n");
  TIniFile ini(Path());
  ini.WriteString("sites", "SiteLIB\\B.TWL", "1");
  ini.WriteString("CURRENCY", "currencyusd", "2");
  ini.WriteString("NewSites", "SiteLIB\\C.TWL", "1");
  EXPECT_EQ(kvtest::ReadFile(Path()),
            "; installation file\r\n"
            "[Sites]\r\n"
            "SiteLIB\\A.TWL=1\r\n"
            "odd line\r\n"
            "SiteLIB\\B.TWL=1\r\n"
            "\r\n"
            "[Currency]\r\n"
            "; rates\r\n"
            "CurrencyUSD=2\r\n"
            "\r\n"
            "[NewSites]\r\n"
            "SiteLIB\\C.TWL=1\r\n");
  TStringList l;
  ini.ReadSection("Sites", l);
  EXPECT_EQ(Keys(l), "SiteLIB\\A.TWL|odd line|SiteLIB\\B.TWL");
  ini.ReadSections(l);
  EXPECT_EQ(Keys(l), "Sites|Currency|NewSites");
  ini.ReadSectionValues("Currency", l);
  EXPECT_EQ(Keys(l), "CurrencyUSD=2");
  EXPECT_TRUE(ini.SectionExists("currency"));
  EXPECT_TRUE(ini.ValueExists("Sites", "sitelib\\b.twl"));
  EXPECT_FALSE(ini.ValueExists("Sites", "SiteLIB\\X.TWL"));
}

TEST_F(IniFileTest, EraseSectionAndDeleteKey) {
  kvtest::WriteFile(Path(),
                    "[SiteDetailsLIB\\SHOP.TWL]\nFileDate=1\nSiteCategory5=stale\n"
                    "[SiteSecurityDetailsLIB\\SHOP.TWL]\nSiteUserName=u\n"
                    "[sitedetailslib\\shop.twl]\nSiteCategory6=stale too\n");
  TIniFile ini(Path());
  ini.EraseSection("SiteDetailsLIB\\SHOP.TWL");
  ini.WriteString("SiteDetailsLIB\\SHOP.TWL", "FileDate", "2");
  EXPECT_EQ(ini.ReadString("SiteDetailsLIB\\SHOP.TWL", "SiteCategory5", ""), "");
  EXPECT_EQ(ini.ReadString("SiteDetailsLIB\\SHOP.TWL", "SiteCategory6", ""), "");
  EXPECT_EQ(ini.ReadString("SiteDetailsLIB\\SHOP.TWL", "FileDate", ""), "2");
  EXPECT_EQ(ini.ReadString("SiteSecurityDetailsLIB\\SHOP.TWL", "SiteUserName", ""), "u");
  ini.DeleteKey("SiteSecurityDetailsLIB\\SHOP.TWL", "siteusername");
  EXPECT_FALSE(ini.ValueExists("SiteSecurityDetailsLIB\\SHOP.TWL", "SiteUserName"));
  EXPECT_FALSE(ini.SectionExists("SiteSecurityDetailsLIB\\SHOP.TWL"));  // no keys left
}

TEST_F(IniFileTest, ABareNameLivesInTheWindowsDirectory) {
  TIniFile ini("Korvandel.cfg");
  ini.WriteString("Currency", "CurrencyEUR", "1.1");
  EXPECT_TRUE(kvtest::FileExists(Env / "windows/Korvandel.cfg"));
  kvtest::WriteFile(Env / "windows/Other.CFG", "[A]\nb=c\n");
  EXPECT_EQ(TIniFile("other.cfg").ReadString("a", "B", ""), "c");
}

TEST_F(IniFileTest, ARelativePathResolvesWithoutRegardToCase) {
  mkdir((Env / "cwd/LIB").c_str(), 0755);
  TIniFile ini("Lib\\SHOP.TWI");
  ini.WriteString("S", "k", "v");
  EXPECT_TRUE(kvtest::FileExists(Env / "cwd/LIB/SHOP.TWI"));
  EXPECT_EQ(ini.FileName(), "Lib\\SHOP.TWI");
}

TEST_F(IniFileTest, AWriteThatCannotBeDoneRaises) {
  TIniFile ini(Env / "cwd/no/such/folder/x.ini");
  try {
    ini.WriteString("S", "k", "v");
    ADD_FAILURE() << "no exception";
  } catch (const EInOutError &e) {
    EXPECT_EQ(e.Message(), "Unable to write to " + ini.FileName());
  }
}

// The profile is saved as every file is: it is found, locked and read by the
// writer's rule, so what a save refuses is neither opened, made nor changed
// first; a refused write raises.
TEST_F(IniFileTest, EveryProfileWriterHonoursWhatItWritesOver) {
  const std::function<void(const std::string &, int)> File = [](const std::string &F, int M) {
    TIniFile(F, M).WriteString("S", "k", "v");
  };
  const std::function<void(const std::string &, int)> Mem = [](const std::string &F, int M) {
    TMemIniFile Ini(F, M);
    Ini.WriteString("S", "k", "v");
    Ini.UpdateFile();
  };
  const struct {
    const char *Name;
    int Mode;
    const std::function<void(const std::string &, int)> &Write;
  } Writers[] = {{"profile", -1, File},
                 {"private profile", 0600, File},
                 {"in-memory profile", -1, Mem},
                 {"private in-memory profile", 0600, Mem}};
  std::string Skipped;
  for (const auto &W : Writers) {
    SCOPED_TRACE(W.Name);
    kvtest::SaveOverEveryTarget(Env / W.Name, "test.ini", W.Mode, [&](const std::string &To) {
      try {
        W.Write(To, W.Mode);
        return true;
      } catch (const EInOutError &) {
        return false;
      }
    }, Skipped);
  }
  if (!Skipped.empty())
    GTEST_SKIP() << "the other cases passed; not tested here: " << Skipped;
}

TEST_F(IniFileTest, ARewriteReplacesTheFileWhole) {
  kvtest::WriteFile(Path(), "[S]\nk=1\n");
  struct stat before, after;
  ASSERT_EQ(stat(Path().c_str(), &before), 0);
  TIniFile(Path()).WriteString("S", "k", "2");
  ASSERT_EQ(stat(Path().c_str(), &after), 0);
  // A new file took the old one's place; nothing was left beside it.
  EXPECT_NE(before.st_ino, after.st_ino);
  int entries = 0;
  DIR *d = opendir((Env / "cwd").c_str());
  while (struct dirent *e = readdir(d))
    entries += e->d_name[0] != '.';
  closedir(d);
  EXPECT_EQ(entries, 1);
}

TEST_F(IniFileTest, TwoProcessesWritingAtOnceLoseNothing) {
  const int N = 30;
  pid_t kids[2];
  for (int k = 0; k < 2; ++k) {
    kids[k] = fork();
    ASSERT_GE(kids[k], 0);
    if (kids[k] == 0) {
      int bad = 0;
      try {
        TIniFile ini(Path());
        for (int i = 0; i < N; ++i)
          ini.WriteInteger(Format("S%d", k), Format("k%d", i), i);
      } catch (...) {
        bad = 1;
      }
      _exit(bad);
    }
  }
  for (pid_t p : kids) {
    int st = 0;
    ASSERT_EQ(waitpid(p, &st, 0), p);
    EXPECT_TRUE(WIFEXITED(st) && WEXITSTATUS(st) == 0);
  }
  TIniFile ini(Path());
  for (int k = 0; k < 2; ++k)
    for (int i = 0; i < N; ++i)
      EXPECT_EQ(ini.ReadInteger(Format("S%d", k), Format("k%d", i), -1), i);
}

namespace {

// One change made the same way through either kind of profile.
struct TChange {
  enum { Write, Erase } Kind;
  const char *Section, *Key, *Value;
};

struct TMemCase {
  const char *Name;
  const char *Before;  // nullptr: no file
  std::vector<TChange> Changes;
};

template <class TProfile>
void Apply(TProfile &Ini, const std::vector<TChange> &Changes) {
  for (const TChange &C : Changes)
    if (C.Kind == TChange::Write)
      Ini.WriteString(C.Section, C.Key, C.Value);
    else
      Ini.EraseSection(C.Section);
}

class MemIniFileCases : public IniFileTest, public ::testing::WithParamInterface<TMemCase> {};

}  // namespace

// The in-memory profile leaves the file as the same changes made one by one
// through the file-backed profile leave it.
TEST_P(MemIniFileCases, WritesTheFileAsTheFileBackedOneDoes) {
  const TMemCase &C = GetParam();
  const std::string One = Env / "cwd/one.ini", Mem = Env / "cwd/mem.ini";
  if (C.Before) {
    kvtest::WriteFile(One, C.Before);
    kvtest::WriteFile(Mem, C.Before);
  }
  TIniFile ini(One);
  Apply(ini, C.Changes);
  TMemIniFile mem(Mem);
  Apply(mem, C.Changes);
  // Nothing reaches the file before UpdateFile.
  if (C.Before) {
    EXPECT_EQ(kvtest::ReadFile(Mem), C.Before);
  } else {
    EXPECT_FALSE(kvtest::FileExists(Mem));
  }
  mem.UpdateFile();
  EXPECT_EQ(kvtest::FileExists(Mem), kvtest::FileExists(One));
  if (kvtest::FileExists(One)) {
    EXPECT_EQ(kvtest::ReadFile(Mem), kvtest::ReadFile(One));
  }
  // And reads of it agree with reads of the written file.
  for (const TChange &Ch : C.Changes)
    EXPECT_EQ(mem.ReadString(Ch.Section, Ch.Key ? Ch.Key : "", "-"),
              ini.ReadString(Ch.Section, Ch.Key ? Ch.Key : "", "-"));
}

INSTANTIATE_TEST_SUITE_P(
    IniFile, MemIniFileCases,
    ::testing::Values(
        TMemCase{"NewFile", nullptr, {{TChange::Write, "S", "k", "v"}, {TChange::Write, "T", "a", " padded "}}},
        TMemCase{"KeepsCommentsAndOrder", "; note\n[A]\nx=1\n\n[B]\ny=2\n",
                 {{TChange::Write, "b", "Z", "3"}, {TChange::Write, "A", "X", "4"}, {TChange::Write, "C", "w", "5"}}},
        TMemCase{"EraseThenWrite", "[SiteDetailsLIB\\A.TWL]\nFileDate=1\nSiteCategory5=stale\n[Other]\nk=v\n"
                                   "[sitedetailslib\\a.twl]\nSiteCategory6=stale\n",
                 {{TChange::Erase, "SiteDetailsLIB\\A.TWL", nullptr, nullptr},
                  {TChange::Write, "SiteDetailsLIB\\A.TWL", "FileDate", "2"},
                  {TChange::Write, "SiteDetailsLIB\\A.TWL", "SiteName", "\"quoted\""}}},
        TMemCase{"EraseOfAMissingFileCreatesNothing", nullptr, {{TChange::Erase, "S", nullptr, nullptr}}},
        TMemCase{"SameValueAgain", "[S]\nk=v\n", {{TChange::Write, "S", "K", "v"}}}),
    [](const auto &Info) { return std::string(Info.param.Name); });

TEST_F(IniFileTest, MemIniFileReadsItsOwnChangesAndTheFileAsLoaded) {
  kvtest::WriteFile(Path(), "[S]\nk=1\nn=7\n");
  TMemIniFile mem(Path());
  mem.WriteInteger("S", "k", 2);
  mem.WriteBool("T", "b", true);
  EXPECT_EQ(mem.ReadInteger("S", "k", 0), 2);
  EXPECT_EQ(mem.ReadInteger("S", "n", 0), 7);
  EXPECT_TRUE(mem.ReadBool("T", "b", false));
  mem.EraseSection("S");
  EXPECT_EQ(mem.ReadString("S", "n", "gone"), "gone");
  EXPECT_EQ(TIniFile(Path()).ReadInteger("S", "k", 0), 1);
}

TEST_F(IniFileTest, MemIniFileChangesThatComeToNothingLeaveTheFileAlone) {
  kvtest::WriteFile(Path(), "[S]\r\nk=1\r\nj=2\r\n");
  struct stat before, after;
  ASSERT_EQ(stat(Path().c_str(), &before), 0);
  TMemIniFile mem(Path());
  mem.EraseSection("S");
  mem.WriteString("S", "k", "1");
  mem.WriteString("S", "j", "2");
  mem.UpdateFile();
  ASSERT_EQ(stat(Path().c_str(), &after), 0);
  EXPECT_EQ(before.st_ino, after.st_ino);
  EXPECT_EQ(kvtest::ReadFile(Path()), "[S]\r\nk=1\r\nj=2\r\n");
}

TEST_F(IniFileTest, MemIniFileKeepsWhatAnotherWroteSinceItLoaded) {
  kvtest::WriteFile(Path(), "[Mine]\nk=1\n[Theirs]\nt=1\n");
  TMemIniFile mem(Path());
  TIniFile(Path()).WriteString("Theirs", "t", "2");
  mem.WriteString("Mine", "k", "2");
  mem.UpdateFile();
  TIniFile ini(Path());
  EXPECT_EQ(ini.ReadString("Mine", "k", ""), "2");
  EXPECT_EQ(ini.ReadString("Theirs", "t", ""), "2");
}

TEST_F(IniFileTest, MemIniFileUpdateThatCannotBeDoneRaises) {
  TMemIniFile mem(Env / "cwd/no/such/folder/x.ini");
  mem.WriteString("S", "k", "v");
  try {
    mem.UpdateFile();
    ADD_FAILURE() << "no exception";
  } catch (const EInOutError &e) {
    EXPECT_EQ(e.Message(), "Unable to write to " + Env / "cwd/no/such/folder/x.ini");
  }
}
