// The stand-in registry's .reg backing: reading regedit's formats, writing back losslessly
// and atomically, and leaving a file it cannot read untouched.
#include <sys/resource.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <tuple>
#include <vector>

#include "platform/posix/reg_file.h"
#include "platform/posix/registry_store.h"
#include "platform/registry.h"

namespace {

using namespace platform;
using namespace platform::standin;

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream bytes;
  bytes << in.rdbuf();
  return bytes.str();
}

void WriteFile(const std::string& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary) << bytes;
}

std::vector<std::string> DirectoryEntries(const std::string& directory) {
  std::vector<std::string> entries;
  for (const auto& entry : std::filesystem::directory_iterator(directory)) entries.push_back(entry.path().filename());
  return entries;
}

// UTF-16LE with a BOM, as regedit writes its exports.
std::string ToUtf16LeFile(const std::u16string& text) {
  std::string bytes = "\xFF\xFE";
  for (char16_t unit : text) {
    bytes += static_cast<char>(unit & 0xFF);
    bytes += static_cast<char>(unit >> 8);
  }
  return bytes;
}

std::string Value(const RegistryTree& tree, const std::vector<std::string>& path, const std::string& name,
                  DWORD* type = nullptr) {
  std::shared_ptr<RegistryKey> key = tree.localMachine;
  for (const std::string& part : path) {
    key = key->Subkey(part);
    if (!key) return "<no key>";
  }
  const RegistryValue* value = key->FindValue(name);
  if (value == nullptr) return "<no value>";
  if (type != nullptr) *type = value->type;
  return value->data;
}

std::string Bytes(const char* text, size_t size) { return std::string(text, size); }

class RegFileTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/zt4gac-regfile-XXXXXX";
    ASSERT_NE(::mkdtemp(pattern), nullptr);
    directory_ = pattern;
    path_ = directory_ + "/registry.reg";
    ResetRegistry();
  }
  void TearDown() override {
    ResetRegistry();
    std::error_code ignored;
    std::filesystem::remove_all(directory_, ignored);
  }

  std::string directory_;
  std::string path_;
};

TEST_F(RegFileTest, EveryKindOfValueSurvivesTheRoundTrip) {
  const std::string key = "SOFTWARE\\Ovk\\Zt4";
  std::string binary;
  for (int i = 0; i < 300; ++i) binary += static_cast<char>(i);
  const std::tuple<std::string, DWORD, std::string> values[] = {
      {"Zt4 Path Name", REG_SZ, Bytes("C:\\Program Files\\\"Zt4\"\0", 23)},
      {"", REG_SZ, Bytes("default\0", 8)},
      {"@", REG_SZ, Bytes("not the default\0", 16)},
      {"na\"me\\with \\\"escapes", REG_SZ, Bytes("\0", 1)},
      {"M\xC3\xBCller \xE2\x82\xAC", REG_SZ, Bytes("Stra\xC3\x9F" "e \xF0\x9F\x98\x80\0", 13)},
      {"two lines", REG_SZ, Bytes("a\r\nb\0", 5)},
      {"not utf-8", REG_SZ, Bytes("\xFF\xC3(\xED\xB2\x80\0", 7)},
      {"unterminated", REG_SZ, "abc"},
      {"empty sz", REG_SZ, ""},
      {"expand", REG_EXPAND_SZ, Bytes("%WINDIR%\\x\0", 11)},
      {"multi", REG_MULTI_SZ, Bytes("one\0tw\xC3\xB6\0\0", 10)},
      {"dword", REG_DWORD, Bytes("\x78\x56\x34\x12", 4)},
      {"short dword", REG_DWORD, Bytes("\x01\x02", 2)},
      {"qword", REG_QWORD, Bytes("\x01\x00\x00\x00\x00\x00\x00\x80", 8)},
      {"none", REG_NONE, ""},
      {"odd type", 0xFFFF0001u, Bytes("\x00\xFF", 2)},
      {std::string(200, 'n'), REG_BINARY, binary},
  };
  for (const auto& [name, type, bytes] : values) SetRegistryValue(HKEY_LOCAL_MACHINE, key, name, type, bytes);
  CreateRegistryKey(HKEY_LOCAL_MACHINE, "SOFTWARE\\Empty\\Leaf]");
  CreateRegistryKey(HKEY_CURRENT_USER, "Software\\K\xC3\xA9y [x]");
  SetRegistryString(HKEY_CURRENT_USER, "", "on the root", "r");

  const std::string exported = ExportRegistry();
  RegistryTree reread;
  ASSERT_TRUE(ParseRegFile(exported, reread)) << exported;
  EXPECT_EQ(FormatRegFile(reread), exported);

  // Value by value through the file, not just text against text.
  WriteFile(path_, exported);
  ASSERT_TRUE(UseRegistryFile(path_));
  for (const auto& [name, type, bytes] : values) {
    DWORD readType = 0;
    std::string readBytes;
    ASSERT_TRUE(ReadRegistryValue(HKEY_LOCAL_MACHINE, key, name, &readType, &readBytes)) << name;
    EXPECT_EQ(readType, type) << name;
    EXPECT_EQ(readBytes, bytes) << name;
  }
  EXPECT_TRUE(RegistryKeyExists(HKEY_LOCAL_MACHINE, "SOFTWARE\\Empty\\Leaf]"));
  EXPECT_TRUE(RegistryKeyExists(HKEY_CURRENT_USER, "Software\\K\xC3\xA9y [x]"));
  EXPECT_TRUE(RegistryValueExists(HKEY_CURRENT_USER, "", "On The Root"));
  EXPECT_EQ(ExportRegistry(), exported);
}

TEST_F(RegFileTest, RegeditUtf16ExportReadsLikeItsUtf8Twin) {
  const std::u16string text =
      u"Windows Registry Editor Version 5.00\r\n"
      u"\r\n"
      u"; exported\r\n"
      u"[HKEY_LOCAL_MACHINE\\SOFTWARE\\Ovk\\Zt4\\InstalledCopies]\r\n"
      u"\"10.1.6.DEF.2\"=\"M\u00FCller \\\"Copy\\\"\"\r\n"
      u"@=\"default\"\r\n"
      u"\"Count\"=dword:0000002a\r\n"
      u"\"Path\"=hex(2):25,00,57,00,49,00,4e,00,44,00,49,00,52,00,25,00,5c,00,\\\r\n"
      u"  fc,00,00,00\r\n"
      u"\"List\"=hex(7):61,00,00,00,62,00,00,00,00,00\r\n"
      u"\r\n"
      u"[HKLM\\SOFTWARE\\Empty]\r\n";
  std::string utf8;
  for (char16_t unit : text) {
    if (unit < 0x80) {
      utf8 += static_cast<char>(unit);
    } else {  // the text above holds only U+00FC beyond ASCII
      utf8 += static_cast<char>(0xC0 | (unit >> 6));
      utf8 += static_cast<char>(0x80 | (unit & 0x3F));
    }
  }

  RegistryTree fromUtf16, fromUtf8, fromUtf8WithBom;
  ASSERT_TRUE(ParseRegFile(ToUtf16LeFile(text), fromUtf16));
  ASSERT_TRUE(ParseRegFile(utf8, fromUtf8));
  ASSERT_TRUE(ParseRegFile("\xEF\xBB\xBF" + utf8, fromUtf8WithBom));
  EXPECT_EQ(FormatRegFile(fromUtf16), FormatRegFile(fromUtf8));
  EXPECT_EQ(FormatRegFile(fromUtf8WithBom), FormatRegFile(fromUtf8));

  const std::vector<std::string> copies = {"SOFTWARE", "Ovk", "Zt4", "InstalledCopies"};
  DWORD type = 0;
  EXPECT_EQ(Value(fromUtf16, copies, "10.1.6.def.2", &type), Bytes("M\xC3\xBCller \"Copy\"\0", 15));
  EXPECT_EQ(type, REG_SZ);
  EXPECT_EQ(Value(fromUtf16, copies, ""), Bytes("default\0", 8));
  EXPECT_EQ(Value(fromUtf16, copies, "Count", &type), Bytes("\x2a\0\0\0", 4));
  EXPECT_EQ(type, REG_DWORD);
  // UTF-16 strings in hex(2)/hex(7) come back as the ANSI bytes the A-functions return.
  EXPECT_EQ(Value(fromUtf16, copies, "Path", &type), Bytes("%WINDIR%\\\xC3\xBC\0", 12));
  EXPECT_EQ(type, REG_EXPAND_SZ);
  EXPECT_EQ(Value(fromUtf16, copies, "List", &type), Bytes("a\0b\0\0", 5));
  EXPECT_EQ(type, REG_MULTI_SZ);
  EXPECT_NE(fromUtf16.localMachine->Subkey("software")->Subkey("EMPTY"), nullptr);
}

TEST_F(RegFileTest, Regedit4DeletionsAndContinuations) {
  const std::string text =
      "REGEDIT4\n"
      "[HKEY_LOCAL_MACHINE\\A\\B\\C]\n"
      "\"gone\"=\"x\"\n"
      "[HKEY_LOCAL_MACHINE\\A\\Keep]\n"
      "\"ansi\"=hex(2):41,42,00\n"
      "\"bin\"=hex:01,02,\\\n"
      "    03,\\\n"
      "    04\n"
      "\"drop\"=\"x\"\n"
      "\"DROP\"=-\n"
      "\"absent\"=-\n"
      "[-HKEY_LOCAL_MACHINE\\A\\B]\n"
      "\"ignored\"=\"under a deleted key\"\n"
      "[-HKEY_LOCAL_MACHINE\\Never\\There]\n";
  RegistryTree tree;
  ASSERT_TRUE(ParseRegFile(text, tree));
  const std::shared_ptr<RegistryKey> a = tree.localMachine->Subkey("A");
  ASSERT_NE(a, nullptr);
  EXPECT_EQ(a->Subkey("B"), nullptr);
  EXPECT_EQ(a->SubkeyCount(), 1u);
  EXPECT_EQ(Value(tree, {"A", "Keep"}, "ansi"), Bytes("AB\0", 3));  // REGEDIT4 hex strings are ANSI
  EXPECT_EQ(Value(tree, {"A", "Keep"}, "bin"), Bytes("\x01\x02\x03\x04", 4));
  EXPECT_EQ(Value(tree, {"A", "Keep"}, "drop"), "<no value>");
  EXPECT_EQ(tree.localMachine->Subkey("Never"), nullptr);
}

TEST_F(RegFileTest, MalformedFilesAreRejected) {
  const std::string header = "Windows Registry Editor Version 5.00\n";
  const std::vector<std::string> malformed = {
      "",
      "Windows Registry Editor Version 4.00\n[HKLM\\A]\n",
      "\xFE\xFF" "bytes",
      header + "\"before any key\"=\"x\"\n",
      header + "[HKEY_CLASSES_ROOT\\A]\n",
      header + "[HKLM\\A\n",
      header + "[HKLM\\A\\\\B]\n",
      header + "[HKLM\\A]\nstray text\n",
      header + "[HKLM\\A]\n\"v\"=\"unterminated\n",
      header + "[HKLM\\A]\n\"v\"=\"bad \\n escape\"\n",
      header + "[HKLM\\A]\n\"v\"=\"x\" trailing\n",
      header + "[HKLM\\A]\n\"v\"=hex:0g\n",
      header + "[HKLM\\A]\n\"v\"=hex:01,\n",
      header + "[HKLM\\A]\n\"v\"=hex:01,,02\n",
      header + "[HKLM\\A]\n\"v\"=hex:01,\\\n",
      header + "[HKLM\\A]\n\"v\"=hex(1):41\n",  // UTF-16 text of odd length
      header + "[HKLM\\A]\n\"v\"=hex(123456789):00\n",
      header + "[HKLM\\A]\n\"v\"=dword:123456789\n",
      header + "[HKLM\\A]\n\"v\"=dword:\n",
      header + "[HKLM\\A]\n\"v\"\n",
      header + "[HKLM\\A]\n\"v\"=\"nul\0inside\"\n",
  };
  for (const std::string& text : malformed) {
    RegistryTree tree;
    EXPECT_FALSE(ParseRegFile(text, tree)) << text;
  }
}

TEST_F(RegFileTest, AMalformedFileIsNeverWritten) {
  const std::string bytes = "Windows Registry Editor Version 5.00\n[HKLM\\Ovk]\n\"v\"=hex:zz\n";
  WriteFile(path_, bytes);
  EXPECT_FALSE(UseRegistryFile(path_));
  EXPECT_FALSE(RegistryKeyExists(HKEY_LOCAL_MACHINE, "Ovk"));

  HKEY key = nullptr;
  ASSERT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, "Ovk", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr),
            ERROR_SUCCESS);
  UniqueRegKey open(key);
  const BYTE text[] = "x";
  EXPECT_EQ(RegSetValueExA(open.get(), "v", 0, REG_SZ, text, 2), ERROR_SUCCESS);  // in memory only
  EXPECT_EQ(RegDeleteValueA(open.get(), "v"), ERROR_SUCCESS);
  EXPECT_EQ(ReadFile(path_), bytes);
  EXPECT_EQ(DirectoryEntries(directory_), std::vector<std::string>{"registry.reg"});

  // The same through the start-up path: ZT4GAC_REGISTRY read lazily at the first call.
  ::setenv("ZT4GAC_REGISTRY", path_.c_str(), 1);
  ResetRegistryToEnvironment();
  EXPECT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, "New", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, open.put(), nullptr),
            ERROR_SUCCESS);
  ::unsetenv("ZT4GAC_REGISTRY");
  EXPECT_EQ(ReadFile(path_), bytes);
}

TEST_F(RegFileTest, EveryChangeIsWrittenBackAndAMissingFileIsCreated) {
  ::setenv("ZT4GAC_REGISTRY", path_.c_str(), 1);
  ResetRegistryToEnvironment();
  HKEY key = nullptr;
  EXPECT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE", 0, KEY_READ, &key), ERROR_FILE_NOT_FOUND);
  ::unsetenv("ZT4GAC_REGISTRY");
  EXPECT_FALSE(std::filesystem::exists(path_));  // nothing changed yet

  ASSERT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Ovk\\Zt4\\InstalledCopies", 0, nullptr, 0,
                            KEY_ALL_ACCESS, nullptr, &key, nullptr),
            ERROR_SUCCESS);
  UniqueRegKey copies(key);
  ASSERT_TRUE(std::filesystem::exists(path_));
  RegistryTree onDisk;
  ASSERT_TRUE(ParseRegFile(ReadFile(path_), onDisk));
  EXPECT_EQ(FormatRegFile(onDisk), ExportRegistry());

  const BYTE text[] = "Zt4Home";
  ASSERT_EQ(RegSetValueExA(copies.get(), "10.1.6.DEF.2", 0, REG_SZ, text, sizeof text), ERROR_SUCCESS);
  ASSERT_TRUE(UseRegistryFile(path_));  // what a later run sees
  std::string stored;
  EXPECT_TRUE(ReadRegistryString(HKEY_LOCAL_MACHINE, "SOFTWARE\\Ovk\\Zt4\\InstalledCopies", "10.1.6.DEF.2", &stored));
  EXPECT_EQ(stored, "Zt4Home");

  ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Ovk\\Zt4\\InstalledCopies", 0, KEY_SET_VALUE, copies.put()),
            ERROR_SUCCESS);
  ASSERT_EQ(RegDeleteValueA(copies.get(), "10.1.6.def.2"), ERROR_SUCCESS);
  ASSERT_EQ(RegDeleteKeyA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Ovk\\Zt4\\InstalledCopies"), ERROR_SUCCESS);
  const std::string afterDeletes = ReadFile(path_);
  EXPECT_EQ(afterDeletes.find("10.1.6"), std::string::npos);
  EXPECT_EQ(afterDeletes.find("InstalledCopies"), std::string::npos);
  EXPECT_NE(afterDeletes.find("[HKEY_LOCAL_MACHINE\\SOFTWARE\\Ovk\\Zt4]"), std::string::npos);
  EXPECT_EQ(DirectoryEntries(directory_), std::vector<std::string>{"registry.reg"});  // no temporary left
}

TEST_F(RegFileTest, AFailedWriteKeepsTheOldFileAndUndoesTheChange) {
  ASSERT_TRUE(UseRegistryFile(path_));
  SetRegistryString(HKEY_LOCAL_MACHINE, "Ovk", "v", "old");
  const std::string before = ReadFile(path_);
  HKEY key = nullptr;
  ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "Ovk", 0, KEY_ALL_ACCESS, &key), ERROR_SUCCESS);
  UniqueRegKey open(key);

  // Cap the file size below the new content's, so the write of the temporary file fails
  // part-way (this holds for root too, unlike a read-only directory).
  rlimit saved;
  ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &saved), 0);
  rlimit capped = saved;
  capped.rlim_cur = before.size() + 8;
  const auto previousHandler = std::signal(SIGXFSZ, SIG_IGN);
  ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &capped), 0);
  const std::string longer(64, 'n');
  const LONG setStatus =
      RegSetValueExA(open.get(), "v", 0, REG_SZ, reinterpret_cast<const BYTE*>(longer.c_str()), 65);
  const LONG createStatus =
      RegCreateKeyExA(open.get(), longer.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr);
  const LONG deleteStatus = RegDeleteValueA(open.get(), "v");  // shorter content: this one fits
  ::setrlimit(RLIMIT_FSIZE, &saved);
  std::signal(SIGXFSZ, previousHandler);

  EXPECT_EQ(setStatus, 1016);  // ERROR_REGISTRY_IO_FAILED
  EXPECT_EQ(createStatus, 1016);
  EXPECT_EQ(deleteStatus, ERROR_SUCCESS);
  EXPECT_FALSE(RegistryKeyExists(HKEY_LOCAL_MACHINE, "Ovk\\" + longer));
  EXPECT_EQ(OpenRegistryHandleCount(), 1);
  EXPECT_EQ(DirectoryEntries(directory_), std::vector<std::string>{"registry.reg"});
  RegistryTree onDisk;
  ASSERT_TRUE(ParseRegFile(ReadFile(path_), onDisk));
  EXPECT_EQ(FormatRegFile(onDisk), ExportRegistry());
  EXPECT_NE(before.find("\"v\"=\"old\""), std::string::npos);
  EXPECT_EQ(ReadFile(path_).find("\"v\""), std::string::npos);
}

TEST_F(RegFileTest, ALargeFileLoadsWithoutQuadraticCost) {
  // About 3 MB: thousands of sibling keys (inserted in reverse order) and values.
  std::string text = "Windows Registry Editor Version 5.00\r\n";
  for (int i = 20000; i > 0; --i) {
    text += "\r\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Ovk\\Zt4\\InstalledCopies\\Copy" + std::to_string(i) + "]\r\n";
    text += "\"Zt4 Path Name\"=\"C:\\\\Program Files\\\\Zt4\\\\" + std::to_string(i) + "\"\r\n";
    text += "\"Data\"=hex:00,01,02,03,04,05,06,07,08,09,0a,0b,0c,0d\r\n";
  }
  ASSERT_GT(text.size(), 3000000u);
  RegistryTree tree;
  const auto start = std::chrono::steady_clock::now();
  ASSERT_TRUE(ParseRegFile(text, tree));
  const auto elapsed = std::chrono::steady_clock::now() - start;
  // Generous enough for a sanitizer build; a quadratic parser takes far longer.
  EXPECT_LT(elapsed, std::chrono::seconds(3));
  EXPECT_EQ(Value(tree, {"SOFTWARE", "Ovk", "Zt4", "InstalledCopies", "copy777"}, "zt4 path name"),
            Bytes("C:\\Program Files\\Zt4\\777\0", 25));
}

}  // namespace
