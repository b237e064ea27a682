#include "platform/Registry.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <thread>

#include "tests/support/TestEnv.h"

using namespace kv;

namespace {

class RegistryTest : public ::testing::Test {
protected:
  kvtest::IsolatedEnv Env;
  std::string File() const { return Env / "config/registry"; }
};

std::string Names(TStrings &S) {
  std::string out;
  for (int i = 0; i < S.Count(); ++i)
    out += (i ? "|" : "") + S[i];
  return out;
}

std::string AllBytes() {
  std::string s;
  for (int c = 0; c < 256; ++c)
    s += static_cast<char>(c);
  return s;
}

}  // namespace

TEST_F(RegistryTest, TypedValuesReadBackWithTheirTypes) {
  TRegistry r;
  ASSERT_TRUE(r.OpenKey("\\Software\\Test", true));
  const unsigned char bin[] = {0, 1, 0xFF, 0x7F};
  r.WriteString("S", "text");
  r.WriteExpandString("E", "%HOME%\\x");
  r.WriteInteger("I", -2);
  r.WriteBool("B", true);
  r.WriteFloat("F", 3.25);
  r.WriteBinaryData("Bin", bin, 4);
  r.WriteString("", "default");
  r.CloseKey();

  TRegistry q;
  ASSERT_TRUE(q.OpenKeyReadOnly("Software\\Test"));
  EXPECT_EQ(q.ReadString("S"), "text");
  EXPECT_EQ(q.ReadString("E"), "%HOME%\\x");
  EXPECT_EQ(q.ReadInteger("I"), -2);
  EXPECT_TRUE(q.ReadBool("B"));
  EXPECT_EQ(q.ReadFloat("F"), 3.25);
  unsigned char got[8] = {};
  EXPECT_EQ(q.ReadBinaryData("Bin", got, sizeof got), 4);
  EXPECT_EQ(std::string(reinterpret_cast<char *>(got), 4), std::string(reinterpret_cast<const char *>(bin), 4));
  EXPECT_EQ(q.ReadString(""), "default");
  EXPECT_EQ(q.GetDataType("S"), rdString);
  EXPECT_EQ(q.GetDataType("E"), rdExpandString);
  EXPECT_EQ(q.GetDataType("I"), rdInteger);
  EXPECT_EQ(q.GetDataType("Bin"), rdBinary);
  EXPECT_EQ(q.GetDataType("missing"), rdUnknown);
  EXPECT_EQ(q.GetDataSize("S"), 5);  // with the terminating zero
  EXPECT_EQ(q.GetDataSize("I"), 4);
  EXPECT_EQ(q.GetDataSize("missing"), -1);
  EXPECT_EQ(q.ReadString("missing"), "");
  TStringList names;
  q.GetValueNames(names);
  EXPECT_EQ(Names(names), "S|E|I|B|F|Bin|");

  struct stat st;
  ASSERT_EQ(stat(File().c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0600u);
}

TEST_F(RegistryTest, NamesIgnoreCaseAndKeepTheirSpelling) {
  TRegistry r;
  ASSERT_TRUE(r.OpenKey("\\Software\\Ostrell Technologies", true));
  r.WriteString("CustomerID", "a");
  r.WriteString("CUSTOMERID", "b");  // the same value; the first spelling stays
  ASSERT_TRUE(r.OpenKey("\\SOFTWARE\\ostrell technologies", false));
  EXPECT_EQ(r.ReadString("customerid"), "b");
  TStringList names;
  r.GetValueNames(names);
  EXPECT_EQ(Names(names), "CustomerID");
  ASSERT_TRUE(r.OpenKey("\\software", false));
  r.GetKeyNames(names);
  EXPECT_EQ(Names(names), "Ostrell Technologies");
  EXPECT_TRUE(r.KeyExists("OSTRELL TECHNOLOGIES"));
}

TEST_F(RegistryTest, ValueNamesWithBackslashesAreNotSplit) {
  TRegistry r;
  ASSERT_TRUE(r.OpenKey("\\Settings\\SiteInfo\\Sites", true));
  r.WriteString("SiteLIB\\SHOP.TWL", "1");
  EXPECT_TRUE(r.ValueExists("sitelib\\shop.twl"));
  EXPECT_EQ(r.ReadString("SiteLIB\\SHOP.TWL"), "1");
  EXPECT_FALSE(r.HasSubKeys());
  EXPECT_FALSE(r.KeyExists("SiteLIB"));
  EXPECT_TRUE(r.DeleteValue("SITELIB\\SHOP.TWL"));
  EXPECT_FALSE(r.ValueExists("SiteLIB\\SHOP.TWL"));
  EXPECT_FALSE(r.DeleteValue("SiteLIB\\SHOP.TWL"));
}

TEST_F(RegistryTest, KeysOpenRelativeToTheOpenKeyUnlessRooted) {
  TRegistry r;
  r.SetRootKey(HKEY_LOCAL_MACHINE);
  ASSERT_TRUE(r.OpenKey("\\A\\B\\C\\D\\E\\F\\G\\H", true));
  EXPECT_EQ(r.CurrentPath(), "A\\B\\C\\D\\E\\F\\G\\H");
  ASSERT_TRUE(r.OpenKey("Deeper", true));
  EXPECT_EQ(r.CurrentPath(), "A\\B\\C\\D\\E\\F\\G\\H\\Deeper");
  r.WriteInteger("N", 7);
  EXPECT_FALSE(r.OpenKey("\\Deeper", false));  // rooted: not there
  EXPECT_TRUE(r.HasCurrentKey());              // a failed open keeps the key
  ASSERT_TRUE(r.OpenKey("\\a\\b", false));
  ASSERT_TRUE(r.OpenKey("c\\d\\e\\f\\g\\h\\deeper", false));
  EXPECT_EQ(r.ReadInteger("n"), 7);
  // Another hive holds none of it.
  r.RootKey = HKEY_CURRENT_USER;
  EXPECT_FALSE(r.HasCurrentKey());
  EXPECT_FALSE(r.KeyExists("\\A"));
  EXPECT_THROW(r.WriteString("x", "y"), ERegistryException);
}

TEST_F(RegistryTest, DeleteKeyRemovesEverythingBelow) {
  TRegistry r;
  ASSERT_TRUE(r.OpenKey("\\Top\\Mid\\Low", true));
  r.WriteString("v", "1");
  ASSERT_TRUE(r.OpenKey("\\Top\\Other", true));
  ASSERT_TRUE(r.OpenKey("\\Keep", true));
  r.CloseKey();
  EXPECT_TRUE(r.DeleteKey("\\TOP"));
  EXPECT_FALSE(r.KeyExists("\\Top"));
  EXPECT_FALSE(r.KeyExists("\\Top\\Mid\\Low"));
  EXPECT_TRUE(r.KeyExists("\\Keep"));
  EXPECT_FALSE(r.DeleteKey("\\Top"));
  ASSERT_TRUE(r.OpenKey("\\Top\\Mid", true));
  EXPECT_FALSE(r.HasSubKeys());  // nothing came back
}

TEST_F(RegistryTest, WrongTypeAndMissingReadsRaiseTheClassLibraryErrors) {
  TRegistry r;
  ASSERT_TRUE(r.OpenKey("\\K", true));
  r.WriteString("Str", "12");
  r.WriteInteger("Dw", 12);
  const char big[16] = {};
  r.WriteBinaryData("Bin", big, 16);
  struct Row {
    const char *Name;
    std::function<void()> Read;
    const char *Message;
  } rows[] = {
      {"string as integer", [&] { r.ReadInteger("Str"); }, "Invalid data type for 'Str'"},
      {"dword as string", [&] { r.ReadString("Dw"); }, "Invalid data type for 'Dw'"},
      {"binary as string", [&] { r.ReadString("Bin"); }, "Invalid data type for 'Bin'"},
      {"dword as float", [&] { r.ReadFloat("Dw"); }, "Invalid data type for 'Dw'"},
      {"16 bytes as float", [&] { r.ReadFloat("Bin"); }, "Invalid data type for 'Bin'"},
      {"string as binary", [&] { char b[8]; r.ReadBinaryData("Str", b, 8); }, "Invalid data type for 'Str'"},
      {"binary too big", [&] { char b[8]; r.ReadBinaryData("Bin", b, 8); }, "Invalid data type for 'Bin'"},
      {"missing integer", [&] { r.ReadInteger("None"); }, "Failed to get data for 'None'"},
      {"missing bool", [&] { r.ReadBool("None"); }, "Failed to get data for 'None'"},
  };
  for (const auto &row : rows) {
    SCOPED_TRACE(row.Name);
    try {
      row.Read();
      ADD_FAILURE() << "no exception";
    } catch (const ERegistryException &e) {
      EXPECT_EQ(e.Message(), row.Message);
    }
  }
  char b[4];
  EXPECT_EQ(r.ReadBinaryData("None", b, 4), 0);
}

TEST_F(RegistryTest, EveryByteOfStringsAndNamesRoundTripsThroughTheFile) {
  const std::string all = AllBytes();
  std::string name = all.substr(1);  // value names are C strings on Windows
  {
    TRegistry r;
    ASSERT_TRUE(r.OpenKey("\\Bytes", true));
    r.WriteString("v", all);
    r.WriteString(name, "n");
    r.WriteString("scrambled", "a\"b\\c\x7F\"\\");
  }
  std::string text = kvtest::ReadFile(File());
  for (unsigned char c : text)
    ASSERT_TRUE(c == '\n' || (c >= 0x20 && c <= 0x7E)) << "byte " << int(c) << " in the file";
  // A second file with the same text is parsed afresh.
  const std::string copy = Env / "copy";
  kvtest::WriteFile(copy, text);
  setenv("KORVANDEL_REGISTRY", copy.c_str(), 1);
  TRegistry q;
  ASSERT_TRUE(q.OpenKeyReadOnly("\\Bytes"));
  EXPECT_EQ(q.ReadString("v"), all);
  EXPECT_EQ(q.ReadString(name), "n");
  EXPECT_EQ(q.ReadString("scrambled"), "a\"b\\c\x7F\"\\");
}

TEST_F(RegistryTest, KeyNamesWithOddBytesRoundTrip) {
  const std::string odd = "a]b%c [d] \x01\xE9";
  {
    TRegistry r;
    ASSERT_TRUE(r.OpenKey("\\" + odd + "\\x", true));
  }
  const std::string copy = Env / "copy";
  kvtest::WriteFile(copy, kvtest::ReadFile(File()));
  setenv("KORVANDEL_REGISTRY", copy.c_str(), 1);
  TRegistry q;
  ASSERT_TRUE(q.OpenKeyReadOnly("\\"));
  TStringList names;
  q.GetKeyNames(names);
  EXPECT_EQ(Names(names), odd);
}

TEST_F(RegistryTest, AHandWrittenFileIsRead) {
  kvtest::WriteFile(File(),
                    "; seeded by hand\r\n"
                    "[HKEY_CLASSES_ROOT\\.htm]\r\n"
                    "@=\"htmlfile\"\r\n"
                    "\r\n"
                    "[HKEY_CLASSES_ROOT\\htmlfile\\shell\\open\\command]\r\n"
                    "@=\"\\\"C:\\\\Browser\\\\NETSCAPE.EXE\\\" -h \\\"%1\\\"\"\r\n"
                    "[hkey_local_machine\\Software\\X]\n"
                    "  \"Version\"=dword:bbb\n"
                    "\"Blob\"=hex:01, 02,ff\n"
                    "\"Empty\"=hex:\n"
                    "\"Tab\"=\"a\\x09b\"\n");
  TRegistry r;
  r.SetRootKey(HKEY_CLASSES_ROOT);
  ASSERT_TRUE(r.OpenKey(".htm", false));
  const std::string cls = r.ReadString("");
  EXPECT_EQ(cls, "htmlfile");
  ASSERT_TRUE(r.OpenKey("\\" + cls + "\\shell\\open\\command", false));
  EXPECT_EQ(r.ReadString(""), "\"C:\\Browser\\NETSCAPE.EXE\" -h \"%1\"");
  r.SetRootKey(HKEY_LOCAL_MACHINE);
  ASSERT_TRUE(r.OpenKeyReadOnly("Software\\X"));
  EXPECT_EQ(r.ReadInteger("Version"), 3003);
  EXPECT_EQ(r.GetDataSize("Blob"), 3);
  EXPECT_EQ(r.GetDataSize("Empty"), 0);
  EXPECT_EQ(r.ReadString("Tab"), "a\tb");
}

TEST_F(RegistryTest, ADamagedFileIsReportedAndNotOverwritten) {
  struct Row {
    const char *Name;
    const char *Text;
    int Line;
  } rows[] = {
      {"unknown hive", "[HKEY_NOWHERE\\X]\n", 1},
      {"unclosed key", "\n[HKEY_CURRENT_USER\\X\n", 2},
      {"value before key", "\"a\"=\"b\"\n", 1},
      {"unclosed quote", "[HKEY_CURRENT_USER\\X]\n\"a\"=\"b\n", 2},
      {"unknown escape", "[HKEY_CURRENT_USER\\X]\n\"a\"=\"\\n\"\n", 2},
      {"short hex escape", "[HKEY_CURRENT_USER\\X]\n\"a\"=\"\\x4\"\n", 2},
      {"long dword", "[HKEY_CURRENT_USER\\X]\n\"a\"=dword:123456789\n", 2},
      {"bad binary", "[HKEY_CURRENT_USER\\X]\n\"a\"=hex:1,2\n", 2},
      {"unknown kind", "[HKEY_CURRENT_USER\\X]\n\"a\"=42\n", 2},
      {"trailing text", "[HKEY_CURRENT_USER\\X]\n\"a\"=\"b\" c\n", 2},
      {"twice in a key", "[HKEY_CURRENT_USER\\X]\n\"a\"=\"1\"\n\"A\"=\"2\"\n", 3},
      {"empty key name", "[HKEY_CURRENT_USER\\X\\\\Y]\n", 1},
  };
  for (const auto &row : rows) {
    SCOPED_TRACE(row.Name);
    kvtest::WriteFile(File(), row.Text);
    TRegistry r;
    try {
      r.KeyExists("\\X");
      ADD_FAILURE() << "read did not raise";
    } catch (const ERegistryException &e) {
      EXPECT_NE(e.Message().find(Format("line %d", row.Line)), std::string::npos) << e.Message();
    }
    EXPECT_THROW(r.CreateKey("\\Y"), ERegistryException);
    EXPECT_EQ(kvtest::ReadFile(File()), row.Text);
  }
}

TEST_F(RegistryTest, AMissingFileIsAnEmptyRegistryAndReadsCreateNothing) {
  TRegistry r;
  EXPECT_FALSE(r.KeyExists("\\Software"));
  EXPECT_FALSE(r.OpenKeyReadOnly("\\Software"));
  EXPECT_FALSE(r.OpenKey("\\Software", false));
  EXPECT_FALSE(r.DeleteKey("\\Software"));
  EXPECT_FALSE(kvtest::FileExists(File()));
  EXPECT_FALSE(kvtest::FileExists(File() + ".lock"));
  // The folder is made on the first write.
  const std::string deep = Env / "new/folder/registry";
  setenv("KORVANDEL_REGISTRY", deep.c_str(), 1);
  ASSERT_TRUE(r.OpenKey("\\Software", true));
  EXPECT_TRUE(kvtest::FileExists(deep));
}

// The registry is saved as every file is, and private: a file reached through
// a link is written where the link points and made 0600 whatever it was.
TEST_F(RegistryTest, TheFileIsPrivateAndALinkToItIsKept) {
  const std::string Real = Env / "elsewhere/registry";
  kvtest::WriteFile(Real, "");
  chmod(Real.c_str(), 0644);
  const std::string Link = Env / "linked-registry";
  ASSERT_EQ(symlink(Real.c_str(), Link.c_str()), 0);
  setenv("KORVANDEL_REGISTRY", Link.c_str(), 1);
  TRegistry r;
  ASSERT_TRUE(r.OpenKey("\\Software", true));
  r.WriteString("Password", "x");
  struct stat st;
  ASSERT_EQ(lstat(Link.c_str(), &st), 0);
  EXPECT_TRUE(S_ISLNK(st.st_mode));
  ASSERT_EQ(stat(Real.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0600u);
  EXPECT_NE(kvtest::ReadFile(Real).find("Password"), std::string::npos);
}

// Root saving a user's registry leaves it the user's, and private.
TEST_F(RegistryTest, TheFileKeepsItsOwner) {
  if (geteuid() != 0)
    GTEST_SKIP() << "only root can save a file that is another user's";
  {
    TRegistry r;
    ASSERT_TRUE(r.OpenKey("\\Software", true));
  }
  ASSERT_EQ(chown(File().c_str(), 4343, 4343), 0);
  chmod(File().c_str(), 0644);
  TRegistry r;
  ASSERT_TRUE(r.OpenKey("\\Software", false));
  r.WriteString("Password", "x");
  struct stat st;
  ASSERT_EQ(stat(File().c_str(), &st), 0);
  EXPECT_EQ(st.st_uid, 4343u);
  EXPECT_EQ(st.st_gid, 4343u);
  EXPECT_EQ(st.st_mode & 07777, 0600u);
  EXPECT_NE(kvtest::ReadFile(File()).find("Password"), std::string::npos);
}

// The lock file is found as the save finds its file: in a shared folder a
// link another user put at its name is not followed, so nothing is made or
// opened where it points, and the write fails.
TEST_F(RegistryTest, AnotherUsersLinkAtTheLockIsNotFollowed) {
  if (geteuid() != 0)
    GTEST_SKIP() << "only root can plant a link that is another user's";
  const std::string Shared = Env / "shared", Made = Env / "elsewhere/made";
  ASSERT_EQ(mkdir(Shared.c_str(), 01777), 0);
  chmod(Shared.c_str(), 01777);
  ASSERT_EQ(mkdir((Env / "elsewhere").c_str(), 0755), 0);
  setenv("KORVANDEL_REGISTRY", (Shared + "/registry").c_str(), 1);
  ASSERT_EQ(symlink(Made.c_str(), (Shared + "/registry.lock").c_str()), 0);
  ASSERT_EQ(lchown((Shared + "/registry.lock").c_str(), 65534, 65534), 0);
  TRegistry r;
  EXPECT_FALSE(r.OpenKey("\\Software", true));
  EXPECT_FALSE(kvtest::FileExists(Made)) << "made where the link points";
  EXPECT_FALSE(kvtest::FileExists(Shared + "/registry"));
}

TEST_F(RegistryTest, AReadOnlyKeyRefusesWrites) {
  {
    TRegistry w;
    ASSERT_TRUE(w.OpenKey("\\K", true));
    w.WriteString("a", "1");
  }
  const std::string before = kvtest::ReadFile(File());
  TRegistry r;
  ASSERT_TRUE(r.OpenKeyReadOnly("\\K"));
  try {
    r.WriteString("a", "2");
    ADD_FAILURE() << "no exception";
  } catch (const ERegistryException &e) {
    EXPECT_EQ(e.Message(), "Failed to set data for 'a'");
  }
  EXPECT_FALSE(r.DeleteValue("a"));
  EXPECT_EQ(kvtest::ReadFile(File()), before);
  EXPECT_EQ(r.ReadString("a"), "1");
}

TEST_F(RegistryTest, TwoProcessesWritingAtOnceLoseNothing) {
  TRegistry r;
  ASSERT_TRUE(r.OpenKey("\\Shared", true));
  EXPECT_FALSE(r.ValueExists("A0"));  // this process now holds a parsed copy
  const int N = 40;
  pid_t kids[2];
  for (int k = 0; k < 2; ++k) {
    kids[k] = fork();
    ASSERT_GE(kids[k], 0);
    if (kids[k] == 0) {
      int bad = 0;
      try {
        TRegistry w;
        if (!w.OpenKey("\\Shared", false))
          _exit(2);
        for (int i = 0; i < N; ++i)
          w.WriteInteger(Format("%c%d", 'A' + k, i), i);
      } catch (...) {
        bad = 1;
      }
      _exit(bad);
    }
  }
  // Meanwhile every read sees a complete file, and never fewer values than
  // the read before.
  TStringList names;
  int seen = 0, running = 2;
  while (running > 0) {
    r.GetValueNames(names);
    EXPECT_GE(names.Count(), seen);
    seen = names.Count();
    for (pid_t &p : kids) {
      int st = 0;
      if (p > 0 && waitpid(p, &st, WNOHANG) == p) {
        EXPECT_TRUE(WIFEXITED(st) && WEXITSTATUS(st) == 0);
        p = 0;
        --running;
      }
    }
  }
  r.GetValueNames(names);
  EXPECT_EQ(names.Count(), 2 * N);
  for (int k = 0; k < 2; ++k)
    for (int i = 0; i < N; ++i)
      EXPECT_EQ(r.ReadInteger(Format("%c%d", 'A' + k, i)), i);
}

TEST_F(RegistryTest, TheIniStyleViewKeepsNumbersAsText) {
  const std::string settings = "\\Software\\Ostrell Technologies\\Korvandel(tm)\\0.00\\Settings";
  TRegIniFile ini(settings, HKEY_LOCAL_MACHINE);
  ini.WriteInteger("Advanced", "MaxSockets", 40);
  ini.WriteBool("SiteInfo\\Sites", "SiteLIB\\SHOP.TWL", false);
  ini.WriteString("", "ProxyServer", "proxy");
  ini.TRegistry::WriteInteger("Typed", 1);  // a DWORD in the key itself

  TRegistry r;
  r.RootKey = HKEY_LOCAL_MACHINE;
  ASSERT_TRUE(r.OpenKeyReadOnly(settings + "\\Advanced"));
  EXPECT_EQ(r.GetDataType("MaxSockets"), rdString);
  EXPECT_EQ(r.ReadString("MaxSockets"), "40");
  ASSERT_TRUE(r.OpenKeyReadOnly(settings + "\\SiteInfo\\Sites"));
  EXPECT_EQ(r.ReadString("SiteLIB\\SHOP.TWL"), "0");

  struct Row {
    const char *Text;
    int Expected;
  } rows[] = {{"40", 40}, {"0x10", 16}, {"0X1f", 31}, {"0x", 12}, {"abc", 12}, {"", 12}, {"-3", -3}};
  for (const auto &row : rows) {
    ini.WriteString("Advanced", "MaxSockets", row.Text);
    EXPECT_EQ(ini.ReadInteger("Advanced", "MaxSockets", 12), row.Expected) << row.Text;
  }
  EXPECT_EQ(ini.ReadInteger("Missing", "MaxSockets", 12), 12);
  EXPECT_TRUE(ini.ReadBool("SiteInfo\\Sites", "SiteLIB\\OTHER.TWL", true));
  EXPECT_FALSE(ini.ReadBool("SiteInfo\\Sites", "SiteLIB\\SHOP.TWL", true));
  EXPECT_EQ(ini.ReadString("", "ProxyServer", "d"), "proxy");
  try {
    ini.ReadString("", "Typed", "");
    ADD_FAILURE() << "no exception";
  } catch (const ERegistryException &e) {
    EXPECT_EQ(e.Message(), "Invalid data type for 'Typed'");
  }
  TStringList l;
  ini.ReadSections(l);
  EXPECT_EQ(Names(l), "Advanced|SiteInfo");
  ini.ReadSectionValues("SiteInfo\\Sites", l);
  EXPECT_EQ(Names(l), "SiteLIB\\SHOP.TWL=0");
  ini.DeleteKey("SiteInfo\\Sites", "SiteLIB\\SHOP.TWL");
  ini.ReadSection("SiteInfo\\Sites", l);
  EXPECT_EQ(l.Count(), 0);
  ini.EraseSection("SiteInfo");
  EXPECT_FALSE(ini.KeyExists("SiteInfo"));
  EXPECT_TRUE(ini.KeyExists("Advanced"));
}

// The file's inode changes with every write (each write replaces the file).
static ino_t Inode(const std::string &Path) {
  struct stat st;
  return stat(Path.c_str(), &st) == 0 ? st.st_ino : 0;
}

TEST_F(RegistryTest, ABatchWritesTheFileOnceAtCommitAndReadsSeeItsChanges) {
  TRegistry seed;
  ASSERT_TRUE(seed.OpenKey("\\Software\\Batch\\Old", true));
  seed.WriteString("Gone", "1");
  const ino_t before = Inode(File());
  {
    TRegistryBatch batch;
    TRegIniFile ini("\\Software\\Batch");
    for (int i = 0; i < 50; ++i)
      ini.WriteString("Sites", "Site" + IntToStr(i), IntToStr(i % 2));
    ini.EraseSection("Old");
    // This thread already reads what the batch holds ...
    EXPECT_EQ(ini.ReadString("Sites", "Site7", "?"), "1");
    EXPECT_FALSE(ini.KeyExists("\\Software\\Batch\\Old"));
    // ... while the file is untouched until the commit.
    EXPECT_EQ(Inode(File()), before);
    EXPECT_EQ(kvtest::ReadFile(File()).find("Site7"), std::string::npos);
    batch.Commit();
  }
  EXPECT_NE(Inode(File()), before);
  TRegIniFile ini("\\Software\\Batch");
  EXPECT_EQ(ini.ReadString("Sites", "Site49", "?"), "1");
  EXPECT_EQ(ini.ReadString("Sites", "Site48", "?"), "0");
  EXPECT_FALSE(ini.KeyExists("\\Software\\Batch\\Old"));
}

TEST_F(RegistryTest, ABatchLeftWithoutCommitWritesNothing) {
  TRegistry seed;
  ASSERT_TRUE(seed.OpenKey("\\Software\\Batch", true));
  seed.WriteString("Kept", "old");
  try {
    TRegistryBatch batch;
    TRegistry r;
    ASSERT_TRUE(r.OpenKey("\\Software\\Batch", false));
    r.WriteString("Kept", "new");
    r.WriteString("Added", "x");
    throw std::runtime_error("save failed half-way");
  } catch (const std::runtime_error &) {
  }
  TRegistry q;
  ASSERT_TRUE(q.OpenKeyReadOnly("\\Software\\Batch"));
  EXPECT_EQ(q.ReadString("Kept"), "old");
  EXPECT_FALSE(q.ValueExists("Added"));
}

TEST_F(RegistryTest, ABatchKeepsWhatAnotherWriterStoredMeanwhile) {
  TRegistryBatch batch;
  TRegistry r;
  ASSERT_TRUE(r.OpenKey("\\Software\\Batch", true));
  r.WriteString("Mine", "1");
  // Another writer (another thread is outside this thread's batch) stores a
  // value while the batch is open.
  bool written = false;
  std::thread([&] {
    TRegistry other;
    if (other.OpenKey("\\Software\\Other", true)) {
      other.WriteString("Theirs", "2");
      written = true;
    }
  }).join();
  ASSERT_TRUE(written);
  batch.Commit();
  TRegistry q;
  ASSERT_TRUE(q.OpenKeyReadOnly("\\Software\\Batch"));
  EXPECT_EQ(q.ReadString("Mine"), "1");
  ASSERT_TRUE(q.OpenKeyReadOnly("\\Software\\Other"));
  EXPECT_EQ(q.ReadString("Theirs"), "2");
}

TEST_F(RegistryTest, ANestedBatchWritesWithTheOuterOne) {
  const ino_t before = Inode(File());
  TRegistryBatch outer;
  {
    TRegistryBatch inner;
    TRegistry r;
    ASSERT_TRUE(r.OpenKey("\\Software\\Batch", true));
    r.WriteString("Inner", "1");
    inner.Commit();
  }
  EXPECT_EQ(Inode(File()), before);
  outer.Commit();
  TRegistry q;
  ASSERT_TRUE(q.OpenKeyReadOnly("\\Software\\Batch"));
  EXPECT_EQ(q.ReadString("Inner"), "1");
}

TEST_F(RegistryTest, AFailedCommitRaisesAndStoresNothing) {
  TRegistry seed;
  ASSERT_TRUE(seed.OpenKey("\\Software\\Batch", true));
  seed.WriteString("X", "old");
  TRegistryBatch batch;
  TRegistry r;
  ASSERT_TRUE(r.OpenKey("\\Software\\Batch", false));
  r.WriteString("X", "new");
  r.WriteString("Y", "new");
  // A folder where the lock file belongs: the write cannot take the lock.
  unlink((File() + ".lock").c_str());
  ASSERT_EQ(mkdir((File() + ".lock").c_str(), 0700), 0);
  EXPECT_THROW(batch.Commit(), ERegistryException);
  TRegistry q;
  ASSERT_TRUE(q.OpenKeyReadOnly("\\Software\\Batch"));
  EXPECT_EQ(q.ReadString("X"), "old");
  EXPECT_FALSE(q.ValueExists("Y"));
}
