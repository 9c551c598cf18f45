// POSIX stand-in only: reading and writing regedit's .reg text format.
#include "platform/posix/reg_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <vector>

namespace platform::standin {

namespace {

constexpr char kVersion5Header[] = "Windows Registry Editor Version 5.00";
constexpr char kVersion4Header[] = "REGEDIT4";

void AppendUtf8(std::string& out, uint32_t codePoint) {
  if (codePoint < 0x80) {
    out += static_cast<char>(codePoint);
  } else if (codePoint < 0x800) {
    out += static_cast<char>(0xC0 | (codePoint >> 6));
    out += static_cast<char>(0x80 | (codePoint & 0x3F));
  } else if (codePoint < 0x10000) {
    out += static_cast<char>(0xE0 | (codePoint >> 12));
    out += static_cast<char>(0x80 | ((codePoint >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (codePoint & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (codePoint >> 18));
    out += static_cast<char>(0x80 | ((codePoint >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((codePoint >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (codePoint & 0x3F));
  }
}

// UTF-16LE to the ANSI (UTF-8) bytes the A-functions return. A lone low surrogate
// U+DC80..U+DCFF is the escape AnsiToUtf16Le uses for a byte that is not UTF-8 and turns
// back into that byte; any other unpaired surrogate becomes U+FFFD.
std::string Utf16LeToAnsi(const char* bytes, size_t size) {
  std::string out;
  out.reserve(size / 2 + size / 8);
  const auto* units = reinterpret_cast<const unsigned char*>(bytes);
  const size_t count = size / 2;
  auto unitAt = [units](size_t i) { return static_cast<uint32_t>(units[2 * i] | (units[2 * i + 1] << 8)); };
  for (size_t i = 0; i < count; ++i) {
    const uint32_t unit = unitAt(i);
    if (unit >= 0xD800 && unit <= 0xDBFF && i + 1 < count && unitAt(i + 1) >= 0xDC00 && unitAt(i + 1) <= 0xDFFF) {
      AppendUtf8(out, 0x10000 + ((unit - 0xD800) << 10) + (unitAt(i + 1) - 0xDC00));
      ++i;
    } else if (unit >= 0xDC80 && unit <= 0xDCFF) {
      out += static_cast<char>(unit - 0xDC00);
    } else if (unit >= 0xD800 && unit <= 0xDFFF) {
      AppendUtf8(out, 0xFFFD);
    } else {
      AppendUtf8(out, unit);
    }
  }
  return out;
}

// Length of the well-formed UTF-8 sequence at text[i], or 0 when the byte there does not
// start one (overlong forms, encoded surrogates and code points past U+10FFFF included).
size_t Utf8SequenceLength(const std::string& text, size_t i, uint32_t* codePoint) {
  const auto byte = [&text](size_t at) { return static_cast<unsigned char>(text[at]); };
  const unsigned char lead = byte(i);
  if (lead < 0x80) {
    *codePoint = lead;
    return 1;
  }
  size_t length;
  unsigned char low = 0x80, high = 0xBF;
  if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3;
    if (lead == 0xE0) low = 0xA0;
    if (lead == 0xED) high = 0x9F;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4;
    if (lead == 0xF0) low = 0x90;
    if (lead == 0xF4) high = 0x8F;
  } else {
    return 0;
  }
  if (i + length > text.size()) return 0;
  if (byte(i + 1) < low || byte(i + 1) > high) return 0;
  uint32_t value = lead & (0x7F >> length);
  for (size_t k = 1; k < length; ++k) {
    if (k > 1 && (byte(i + k) & 0xC0) != 0x80) return 0;
    value = (value << 6) | (byte(i + k) & 0x3F);
  }
  *codePoint = value;
  return length;
}

// ANSI (UTF-8) bytes to UTF-16LE; a byte that is not part of well-formed UTF-8 becomes the
// lone surrogate U+DC00 + byte, so that every byte string survives the trip and back.
std::string AnsiToUtf16Le(const std::string& text) {
  std::string out;
  out.reserve(text.size() * 2);
  auto appendUnit = [&out](uint32_t unit) {
    out += static_cast<char>(unit & 0xFF);
    out += static_cast<char>(unit >> 8);
  };
  for (size_t i = 0; i < text.size();) {
    uint32_t codePoint = 0;
    const size_t length = Utf8SequenceLength(text, i, &codePoint);
    if (length == 0) {
      appendUnit(0xDC00 + static_cast<unsigned char>(text[i]));
      ++i;
      continue;
    }
    if (codePoint >= 0x10000) {
      appendUnit(0xD800 + ((codePoint - 0x10000) >> 10));
      appendUnit(0xDC00 + ((codePoint - 0x10000) & 0x3FF));
    } else {
      appendUnit(codePoint);
    }
    i += length;
  }
  return out;
}

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

bool StartsWithNoCase(const std::string& text, size_t at, const char* prefix) {
  for (size_t k = 0; prefix[k] != '\0'; ++k) {
    if (at + k >= text.size()) return false;
    char c = text[at + k];
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    if (c != prefix[k]) return false;
  }
  return true;
}

// 1 to 8 hex digits making up the whole of text[begin, end).
bool ParseHexNumber(const std::string& text, size_t begin, size_t end, uint32_t* number) {
  if (begin >= end || end - begin > 8) return false;
  uint32_t value = 0;
  for (size_t i = begin; i < end; ++i) {
    const int digit = HexDigit(text[i]);
    if (digit < 0) return false;
    value = (value << 4) | static_cast<uint32_t>(digit);
  }
  *number = value;
  return true;
}

bool IsTextType(DWORD type) { return type == REG_SZ || type == REG_EXPAND_SZ || type == REG_MULTI_SZ; }

class RegFileParser {
 public:
  RegFileParser(const std::string& text, RegistryTree& tree) : text_(text), tree_(tree) {}

  bool Parse() {
    std::string line;
    if (!NextLine(&line)) return false;
    if (line == kVersion5Header) {
      textIsUtf16_ = true;
    } else if (line != kVersion4Header) {
      return false;
    }
    while (NextLine(&line)) {
      if (line.empty() || line[0] == ';') continue;
      if (line[0] == '[') {
        if (!ParseKeyHeader(line)) return false;
      } else if (line[0] == '"' || line[0] == '@') {
        if (!sawKeyHeader_ || !ParseValueLine(line)) return false;
      } else {
        return false;
      }
    }
    return true;
  }

 private:
  // The next line without its line break and without surrounding blanks.
  bool NextLine(std::string* line) {
    if (position_ >= text_.size()) return false;
    size_t end = text_.find('\n', position_);
    if (end == std::string::npos) end = text_.size();
    size_t begin = position_;
    position_ = end + 1;
    while (end > begin && (IsBlank(text_[end - 1]) || text_[end - 1] == '\r')) --end;
    while (begin < end && IsBlank(text_[begin])) ++begin;
    line->assign(text_, begin, end - begin);
    return true;
  }

  bool ParseKeyHeader(const std::string& line) {
    if (line.size() < 2 || line.back() != ']') return false;
    std::string path = line.substr(1, line.size() - 2);
    const bool deletion = !path.empty() && path[0] == '-';
    if (deletion) path.erase(0, 1);
    const size_t rootEnd = path.find('\\');
    const std::string rootName = LowercaseName(path.substr(0, rootEnd));
    std::shared_ptr<RegistryKey> key;
    if (rootName == "hkey_local_machine" || rootName == "hklm") {
      key = tree_.localMachine;
    } else if (rootName == "hkey_current_user" || rootName == "hkcu") {
      key = tree_.currentUser;
    } else {
      return false;
    }
    std::vector<std::string> names;
    if (rootEnd != std::string::npos && !SplitKeyPath(path.c_str() + rootEnd + 1, &names)) return false;
    if (rootEnd != std::string::npos && names.empty()) return false;  // "[HKLM\]"
    current_.reset();
    sawKeyHeader_ = true;
    if (deletion) {
      if (names.empty()) return false;  // a root cannot be deleted
      for (size_t i = 0; i + 1 < names.size() && key; ++i) key = key->Subkey(names[i]);
      if (key) {
        std::shared_ptr<RegistryKey> removed = key->DetachSubkey(names.back());
        if (removed) removed->MarkDeleted();
      }
      return true;  // the values listed under a deleted key are ignored, as regedit does
    }
    for (const std::string& name : names) key = key->AddSubkey(name, nullptr);
    current_ = std::move(key);
    return true;
  }

  // A quoted string starting at line[*at] == '"', with \\ and \" escapes; *at ends past it.
  static bool ParseQuoted(const std::string& line, size_t* at, std::string* text) {
    text->clear();
    for (size_t i = *at + 1; i < line.size(); ++i) {
      const char c = line[i];
      if (c == '"') {
        *at = i + 1;
        return true;
      }
      if (c == '\\') {
        if (i + 1 >= line.size() || (line[i + 1] != '\\' && line[i + 1] != '"')) return false;
        *text += line[++i];
      } else {
        *text += c;
      }
    }
    return false;  // unterminated
  }

  static bool OnlyBlanksFrom(const std::string& line, size_t at) {
    for (; at < line.size(); ++at) {
      if (!IsBlank(line[at])) return false;
    }
    return true;
  }

  bool ParseValueLine(const std::string& line) {
    std::string name;
    size_t at = 0;
    if (line[0] == '@') {
      at = 1;
    } else if (!ParseQuoted(line, &at, &name)) {
      return false;
    }
    while (at < line.size() && IsBlank(line[at])) ++at;
    if (at >= line.size() || line[at] != '=') return false;
    ++at;
    while (at < line.size() && IsBlank(line[at])) ++at;

    DWORD type = REG_NONE;
    std::string data;
    bool remove = false;
    if (at < line.size() && line[at] == '-' && OnlyBlanksFrom(line, at + 1)) {
      remove = true;
    } else if (at < line.size() && line[at] == '"') {
      if (!ParseQuoted(line, &at, &data) || !OnlyBlanksFrom(line, at)) return false;
      type = REG_SZ;
      data += '\0';
    } else if (StartsWithNoCase(line, at, "dword:")) {
      uint32_t number = 0;
      if (!ParseHexNumber(line, at + 6, line.size(), &number)) return false;
      type = REG_DWORD;
      for (int shift = 0; shift < 32; shift += 8) data += static_cast<char>((number >> shift) & 0xFF);
    } else if (StartsWithNoCase(line, at, "hex")) {
      if (!ParseHexValue(line, at + 3, &type, &data)) return false;
    } else {
      return false;
    }

    if (!current_) return true;  // below a deleted key
    if (remove) {
      current_->RemoveValue(name);
    } else {
      current_->SetValue(name, type, std::move(data));
    }
    return true;
  }

  // "hex:" or "hex(N):" then comma-separated bytes, continued over lines ending in '\'.
  bool ParseHexValue(const std::string& line, size_t at, DWORD* type, std::string* data) {
    *type = REG_BINARY;
    if (at < line.size() && line[at] == '(') {
      const size_t close = line.find(')', at);
      if (close == std::string::npos || !ParseHexNumber(line, at + 1, close, type)) return false;
      at = close + 1;
    }
    if (at >= line.size() || line[at] != ':') return false;
    std::string body = line.substr(at + 1);
    while (!body.empty() && body.back() == '\\') {
      body.pop_back();
      std::string next;
      if (!NextLine(&next)) return false;
      body += next;
    }
    data->clear();
    data->reserve(body.size() / 3 + 1);
    size_t i = 0;
    auto skipBlanks = [&] {
      while (i < body.size() && IsBlank(body[i])) ++i;
    };
    skipBlanks();
    while (i < body.size()) {
      const int high = HexDigit(body[i]);
      if (high < 0) return false;
      int byte = high;
      ++i;
      if (i < body.size() && HexDigit(body[i]) >= 0) byte = byte * 16 + HexDigit(body[i++]);
      *data += static_cast<char>(byte);
      skipBlanks();
      if (i >= body.size()) break;
      if (body[i] != ',') return false;
      ++i;
      skipBlanks();
      if (i >= body.size()) return false;  // a trailing comma promises one more byte
    }
    if (IsTextType(*type) && textIsUtf16_) {
      if (data->size() % 2 != 0) return false;
      *data = Utf16LeToAnsi(data->data(), data->size());
    }
    return true;
  }

  const std::string& text_;
  RegistryTree& tree_;
  size_t position_ = 0;
  bool textIsUtf16_ = false;
  bool sawKeyHeader_ = false;  // hex(1), hex(2) and hex(7) hold UTF-16LE in version 5 files
  std::shared_ptr<RegistryKey> current_;
};

void AppendQuoted(std::string& out, const std::string& text) {
  out += '"';
  for (char c : text) {
    if (c == '\\' || c == '"') out += '\\';
    out += c;
  }
  out += '"';
}

void AppendHexBytes(std::string& out, const std::string& bytes, size_t lineLength) {
  static const char kDigits[] = "0123456789abcdef";
  for (size_t i = 0; i < bytes.size(); ++i) {
    const auto byte = static_cast<unsigned char>(bytes[i]);
    out += kDigits[byte >> 4];
    out += kDigits[byte & 0xF];
    lineLength += 2;
    if (i + 1 < bytes.size()) {
      out += ',';
      ++lineLength;
      if (lineLength > 76) {  // regedit's wrapping, two blanks in front of each continuation
        out += "\\\n  ";
        lineLength = 2;
      }
    }
  }
}

// A REG_SZ that a quoted string reproduces exactly: one terminator at the end and
// nothing that would break the line.
bool FitsQuotedString(const RegistryValue& value) {
  const std::string& data = value.data;
  if (value.type != REG_SZ || data.empty() || data.back() != '\0') return false;
  for (size_t i = 0; i + 1 < data.size(); ++i) {
    if (data[i] == '\0' || data[i] == '\n' || data[i] == '\r') return false;
  }
  return true;
}

void AppendValue(std::string& out, const RegistryValue& value) {
  const size_t lineStart = out.size();
  if (value.name.empty()) {
    out += '@';
  } else {
    AppendQuoted(out, value.name);
  }
  out += '=';
  if (FitsQuotedString(value)) {
    AppendQuoted(out, value.data.substr(0, value.data.size() - 1));
  } else if (value.type == REG_DWORD && value.data.size() == 4) {
    uint32_t number = 0;
    for (int k = 3; k >= 0; --k) number = (number << 8) | static_cast<unsigned char>(value.data[static_cast<size_t>(k)]);
    char text[16];
    std::snprintf(text, sizeof text, "dword:%08x", number);
    out += text;
  } else {
    char prefix[24];
    if (value.type == REG_BINARY) {
      std::snprintf(prefix, sizeof prefix, "hex:");
    } else {
      std::snprintf(prefix, sizeof prefix, "hex(%x):", static_cast<unsigned>(value.type));
    }
    out += prefix;
    AppendHexBytes(out, IsTextType(value.type) ? AnsiToUtf16Le(value.data) : value.data, out.size() - lineStart);
  }
  out += '\n';
}

void AppendKey(std::string& out, const RegistryKey& key, const std::string& path, bool isRoot) {
  if (!isRoot || !key.Values().empty()) {
    out += "\n[";
    out += path;
    out += "]\n";
    for (const RegistryValue& value : key.Values()) AppendValue(out, value);
  }
  for (size_t i = 0; i < key.SubkeyCount(); ++i) {
    const RegistryKey* subkey = key.SubkeyAt(i);
    AppendKey(out, *subkey, path + '\\' + subkey->Name(), false);
  }
}

}  // namespace

bool ParseRegFile(const std::string& bytes, RegistryTree& tree) {
  std::string decoded;
  const std::string* text = &bytes;
  if (bytes.size() >= 2 && bytes[0] == '\xFF' && bytes[1] == '\xFE') {
    if (bytes.size() % 2 != 0) return false;
    decoded = Utf16LeToAnsi(bytes.data() + 2, bytes.size() - 2);
    text = &decoded;
  } else if (bytes.size() >= 3 && bytes.compare(0, 3, "\xEF\xBB\xBF") == 0) {
    decoded = bytes.substr(3);
    text = &decoded;
  }
  // Names cannot hold a NUL, so a NUL anywhere means the file is not a .reg text.
  if (text->find('\0') != std::string::npos) return false;
  return RegFileParser(*text, tree).Parse();
}

std::string FormatRegFile(const RegistryTree& tree) {
  std::string out = kVersion5Header;
  out +=
      "\n; Written by zt4gac's stand-in registry: UTF-8 without BOM; hex(1), hex(2) and hex(7)"
      "\n; hold UTF-16LE as regedit writes them.\n";
  AppendKey(out, *tree.localMachine, "HKEY_LOCAL_MACHINE", true);
  AppendKey(out, *tree.currentUser, "HKEY_CURRENT_USER", true);
  return out;
}

bool WriteFileAtomically(const std::string& path, const std::string& content) {
  std::vector<char> temporaryPath(path.begin(), path.end());
  const char suffix[] = ".tmp-XXXXXX";
  temporaryPath.insert(temporaryPath.end(), suffix, suffix + sizeof suffix);
  const int fd = ::mkstemp(temporaryPath.data());
  if (fd < 0) return false;

  // Keep the permissions of the file being replaced; a new file gets the usual 0666 less umask.
  struct stat existing;
  mode_t mode;
  if (::stat(path.c_str(), &existing) == 0) {
    mode = existing.st_mode & 07777;
  } else {
    const mode_t mask = ::umask(0);
    ::umask(mask);
    mode = 0666 & ~mask;
  }
  bool ok = ::fchmod(fd, mode) == 0;
  for (size_t written = 0; ok && written < content.size();) {
    const ssize_t n = ::write(fd, content.data() + written, content.size() - written);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) ok = false;
    else written += static_cast<size_t>(n);
  }
  ok = ok && ::fsync(fd) == 0;
  ok = (::close(fd) == 0) && ok;
  ok = ok && ::rename(temporaryPath.data(), path.c_str()) == 0;
  if (!ok) {
    ::unlink(temporaryPath.data());
    return false;
  }
  // Make the rename itself durable.
  const size_t slash = path.rfind('/');
  const std::string directory = slash == std::string::npos ? "." : (slash == 0 ? "/" : path.substr(0, slash));
  const int directoryFd = ::open(directory.c_str(), O_RDONLY | O_DIRECTORY);
  if (directoryFd >= 0) {
    (void)::fsync(directoryFd);
    ::close(directoryFd);
  }
  return true;
}

}  // namespace platform::standin
