// The settings file reader and writer, table-driven: what a read returns for
// a given file, what a write leaves on disk, and how a failed write reports.
#include "ini_file.h"

#include <sys/stat.h>

#include "app_test_support.h"

namespace {

using apptest::ReadFile;
using apptest::ScratchDir;

struct ReadCase {
  const char* name;
  std::string content;
  const char* key;
  std::string expected;
};

// A case prints as its name; gtest would otherwise dump its bytes.
void PrintTo(const ReadCase& c, std::ostream* os) { *os << c.name; }

class IniRead : public ::testing::TestWithParam<ReadCase> {};

TEST_P(IniRead, ReturnsValueOrDefault) {
  ScratchDir dir;
  dir.Write("s.ini", GetParam().content);
  TIniFile ini(dir.File("s.ini"));
  EXPECT_EQ(ini.ReadString("Settings", GetParam().key, "DEF"), GetParam().expected);
}

const std::string kLong(3000, 'v');

INSTANTIATE_TEST_SUITE_P(
    Cases, IniRead,
    ::testing::Values(
        ReadCase{"plain", "[Settings]\nHostName=127.0.5.1\n", "HostName", "127.0.5.1"},
        ReadCase{"names_ignore_case", "[settings]\nHOSTNAME=a\n", "hostName", "a"},
        ReadCase{"blanks_trimmed", "  [ Settings ]  \n  HostName =  a b  \n", "HostName", "a b"},
        ReadCase{"quotes_removed", "[Settings]\nPassword=\" x \"\n", "Password", " x "},
        ReadCase{"empty_value_is_not_default", "[Settings]\nAutoConnect=\n", "AutoConnect", ""},
        ReadCase{"equals_in_value", "[Settings]\nPassword=a=b\n", "Password", "a=b"},
        ReadCase{"other_section_ignored", "[Other]\nHostName=x\n[Settings]\n", "HostName", "DEF"},
        ReadCase{"key_after_section_ends", "[Settings]\n[Other]\nHostName=x\n", "HostName", "DEF"},
        ReadCase{"crlf_lines", "[Settings]\r\nUserName=root\r\n", "UserName", "root"},
        ReadCase{"comment_line", "[Settings]\n;HostName=x\n", "HostName", "DEF"},
        ReadCase{"missing_key", "[Settings]\nUserName=root\n", "HostName", "DEF"},
        ReadCase{"value_cut_to_buffer", "[Settings]\nPassword=" + kLong + "\n", "Password",
                 std::string(2047, 'v')},
        ReadCase{"garbage_bytes", std::string("\0[\xff]=\n[Settings\n=x\n", 18), "HostName", "DEF"}),
    [](const auto& p) { return std::string(p.param.name); });

TEST(IniFile, MissingFileGivesDefault) {
  TIniFile ini("/nonexistent-folder/s.ini");
  EXPECT_EQ(ini.ReadString("Settings", "HostName", "127.0.0.1"), "127.0.0.1");
}

struct WriteCase {
  const char* name;
  std::string before;  // "<none>": no file
  const char* key;
  const char* value;
  std::string after;
};

void PrintTo(const WriteCase& c, std::ostream* os) { *os << c.name; }

class IniWrite : public ::testing::TestWithParam<WriteCase> {};

TEST_P(IniWrite, LeavesExpectedFile) {
  ScratchDir dir;
  if (GetParam().before != "<none>") dir.Write("s.ini", GetParam().before);
  TIniFile ini(dir.File("s.ini"));
  ini.WriteString("Settings", GetParam().key, GetParam().value);
  EXPECT_EQ(ReadFile(dir.File("s.ini")), GetParam().after);
  EXPECT_EQ(ini.ReadString("Settings", GetParam().key, "DEF"), GetParam().value);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, IniWrite,
    ::testing::Values(
        WriteCase{"creates_file", "<none>", "HostName", "h", "[Settings]\nHostName=h\n"},
        WriteCase{"replaces_in_place", "; mine\n[Settings]\nHostName=a\nTelnetPort=23\n",
                  "HostName", "b", "; mine\n[Settings]\nHostName=b\nTelnetPort=23\n"},
        WriteCase{"replaces_ignoring_case", "[SETTINGS]\nhostname=a\n", "HostName", "b",
                  "[SETTINGS]\nHostName=b\n"},
        WriteCase{"adds_inside_section", "[Settings]\nA=1\n\n[Other]\nB=2\n", "HostName", "h",
                  "[Settings]\nA=1\nHostName=h\n\n[Other]\nB=2\n"},
        WriteCase{"adds_section", "[Other]\nB=2\n", "HostName", "h",
                  "[Other]\nB=2\n\n[Settings]\nHostName=h\n"},
        WriteCase{"keeps_crlf", "[Settings]\r\nA=1\r\n", "A", "2", "[Settings]\r\nA=2\r\n"},
        WriteCase{"empty_value", "[Settings]\nA=1\n", "A", "", "[Settings]\nA=\n"}),
    [](const auto& p) { return std::string(p.param.name); });

TEST(IniFile, NewFileIsPrivateExistingKeepsItsMode) {
  ScratchDir dir;
  TIniFile fresh(dir.File("new.ini"));
  fresh.WriteString("Settings", "Password", "Lanterns");
  struct stat st {};
  ASSERT_EQ(stat(dir.File("new.ini").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0600u);

  dir.Write("old.ini", "[Settings]\n");
  chmod(dir.File("old.ini").c_str(), 0644);
  TIniFile old(dir.File("old.ini"));
  old.WriteString("Settings", "Password", "x");
  ASSERT_EQ(stat(dir.File("old.ini").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0644u);
  // Nothing but the settings file is left in the folder.
  int files = 0;
  for ([[maybe_unused]] auto& e : std::filesystem::directory_iterator(dir.path)) ++files;
  EXPECT_EQ(files, 2);
}

TEST(IniFile, FailedWriteRaisesWithFileNameAndChangesNothing) {
  TIniFile nowhere("/nonexistent-folder/s.ini");
  try {
    nowhere.WriteString("Settings", "HostName", "x");
    FAIL() << "no exception";
  } catch (const EIniFileException& e) {
    EXPECT_STREQ(e.what(), "Unable to write to /nonexistent-folder/s.ini");
  }

  // A value with a line break would add lines of its own to the file.
  ScratchDir dir;
  dir.Write("s.ini", "[Settings]\nHostName=a\n");
  TIniFile ini(dir.File("s.ini"));
  for (const char* bad : {"x\n[Settings]\nHostName=evil", "x\ry", "x"}) {
    std::string value = bad;
    if (value == "x") value = std::string("x\0y", 3);
    EXPECT_THROW(ini.WriteString("Settings", "Password", value), EIniFileException);
  }
  EXPECT_EQ(ReadFile(dir.File("s.ini")), "[Settings]\nHostName=a\n");
}

TEST(IniFile, SettingsFileNameReplacesExactlyFourCharacters) {
  EXPECT_EQ(SettingsFileNameFor("/opt/t/TervaneWinC.exe"), "/opt/t/TervaneWinC.ini");
  EXPECT_EQ(SettingsFileNameFor("/opt/t/TervaneWinC"), "/opt/t/Tervane.ini");
  EXPECT_EQ(SettingsFileNameFor("/opt/t/run.sh"), "/opt/t/ru.ini");
  EXPECT_EQ(SettingsFileNameFor("ab"), ".ini");
}

}  // namespace
