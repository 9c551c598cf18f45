// POSIX stand-in only: the in-memory registry's keys, and the regedit version-5 text (UTF-8)
// that fills it and that it is written back as.
#include <algorithm>
#include <cstdio>

#include "platform/posix/registry_tree.h"
#include "platform/posix/standin.h"
#include "platform/text.h"

namespace platform::standin {

namespace {


std::string Trim(const std::string& text) {
  const auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\r'; };
  size_t begin = 0, end = text.size();
  while (begin < end && blank(text[begin])) ++begin;
  while (end > begin && blank(text[end - 1])) --end;
  return text.substr(begin, end - begin);
}

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return c >= 'A' && c <= 'F' ? c - 'A' + 10 : -1;
}

// 1 to 8 hex digits making up the whole of `digits`.
bool ReadHexNumber(const std::string& digits, DWORD* number) {
  if (digits.empty() || digits.size() > 8) return false;
  *number = 0;
  for (const char c : digits) {
    if (HexDigit(c) < 0) return false;
    *number = *number << 4 | static_cast<DWORD>(HexDigit(c));
  }
  return true;
}

// The quoted text at line[*at] == '"', with \\ and \" escapes; *at ends past the closing quote.
bool ReadQuoted(const std::string& line, size_t* at, std::string* text) {
  text->clear();
  for (size_t i = *at + 1; i < line.size(); ++i) {
    char c = line[i];
    if (c == '"') {
      *at = i + 1;
      return true;
    }
    if (c == '\\') {
      if (i + 1 == line.size() || (line[i + 1] != '\\' && line[i + 1] != '"')) return false;
      c = line[++i];
    }
    *text += c;
  }
  return false;
}

std::string Quote(const std::string& text) {
  std::string quoted = "\"";
  for (const char c : text) quoted += c == '\\' || c == '"' ? std::string{'\\', c} : std::string{c};
  return quoted + '"';
}

// What follows '=': "text" (stored with its terminator), dword:N, or hex(N): and hex: with
// comma-separated bytes on the one line.
bool ReadData(const std::string& text, DWORD* type, std::string* data) {
  data->clear();
  if (!text.empty() && text[0] == '"') {
    size_t end = 0;
    *type = REG_SZ;
    if (!ReadQuoted(text, &end, data) || end != text.size()) return false;
    *data += '\0';
    return true;
  }
  DWORD number = 0;
  if (text.compare(0, 6, "dword:") == 0) {
    *type = REG_DWORD;
    if (!ReadHexNumber(text.substr(6), &number)) return false;
    for (int shift = 0; shift < 32; shift += 8) *data += static_cast<char>(number >> shift & 0xFF);
    return true;
  }
  const size_t colon = text.find(':');
  if (text.compare(0, 3, "hex") != 0 || colon == std::string::npos) return false;
  const std::string kind = text.substr(3, colon - 3);  // "" (binary) or "(N)"
  *type = REG_BINARY;
  if (!kind.empty() && (kind.size() < 3 || kind.front() != '(' || kind.back() != ')' ||
                        !ReadHexNumber(kind.substr(1, kind.size() - 2), type))) {
    return false;
  }
  for (size_t i = colon + 1; i < text.size(); i += 3) {
    if (i + 1 >= text.size() || HexDigit(text[i]) < 0 || HexDigit(text[i + 1]) < 0) return false;
    if (i + 2 < text.size() && text[i + 2] != ',') return false;
    *data += static_cast<char>(HexDigit(text[i]) * 16 + HexDigit(text[i + 1]));
  }
  return true;
}

// "[ROOT\path]" makes *key that key; "[-ROOT\path]" deletes the key and leaves *key null, so
// the values listed below it are ignored, as regedit does.
bool ReadKeyHeader(const std::string& line, RegistryTree* tree, RegistryKey** key) {
  if (line.back() != ']') return false;
  std::string path = line.substr(1, line.size() - 2);
  const bool deletion = !path.empty() && path[0] == '-';
  if (deletion) path.erase(0, 1);
  const size_t slash = std::min(path.find('\\'), path.size());
  const std::string root = Lowercase(path.substr(0, slash));
  std::vector<std::string> names;
  if ((root != "hkey_local_machine" && root != "hkey_current_user") ||
      !SplitKeyPath(path.c_str() + std::min(slash + 1, path.size()), &names) || (deletion && names.empty())) {
    return false;
  }
  *key = nullptr;
  if (tree == nullptr) return true;
  RegistryKey* at = root == "hkey_local_machine" ? &tree->localMachine : &tree->currentUser;
  if (!deletion) {
    // cppcheck-suppress useStlAlgorithm ; a walk down the tree, clearer as a loop
    for (const std::string& name : names) at = at->Subkey(name, true);
    *key = at;
    return true;
  }
  for (size_t i = 0; at != nullptr && i + 1 < names.size(); ++i) at = at->Subkey(names[i]);
  if (at != nullptr) at->subkeys.erase(Lowercase(names.back()));
  return true;
}

bool ReadValueLine(const std::string& line, RegistryKey* key) {
  std::string name, data;
  size_t at = 0;
  if (line[0] == '@') {
    at = 1;
  } else if (line[0] != '"' || !ReadQuoted(line, &at, &name)) {
    return false;
  }
  DWORD type = REG_NONE;
  if (at >= line.size() || line[at] != '=' || !ReadData(line.substr(at + 1), &type, &data)) return false;
  if (key != nullptr) key->SetValue(name, type, std::move(data));
  return true;
}

void AppendData(std::string& out, const RegistryValue& value) {
  const std::string& data = value.data;
  char text[24];
  if (value.type == REG_SZ && !data.empty() && data.find('\0') == data.size() - 1 &&
      data.find_first_of("\r\n") == std::string::npos) {
    out += Quote(data.substr(0, data.size() - 1));
  } else if (value.type == REG_DWORD && data.size() == 4) {
    DWORD number = 0;
    for (int i = 3; i >= 0; --i) number = number << 8 | static_cast<unsigned char>(data[i]);
    std::snprintf(text, sizeof text, "dword:%08x", number);
    out += text;
  } else {  // what the two forms above cannot hold, byte for byte
    std::snprintf(text, sizeof text, "hex(%x):", value.type);
    out += text;
    for (size_t i = 0; i < data.size(); ++i) {
      std::snprintf(text, sizeof text, i == 0 ? "%02x" : ",%02x", static_cast<unsigned char>(data[i]));
      out += text;
    }
  }
}

// A section for each key with values, and for each leaf (so keys without values survive); the
// keys between are made again by the sections below them.
void AppendKey(std::string& out, const RegistryKey& key, const std::string& path, bool isRoot) {
  if (!key.values.empty() || (!isRoot && key.subkeys.empty())) {
    out += "\n[" + path + "]\n";
    for (const RegistryValue& value : key.values) {
      out += value.name.empty() ? "@=" : Quote(value.name) + "=";
      AppendData(out, value);
      out += '\n';
    }
  }
  for (const auto& entry : key.subkeys) AppendKey(out, *entry.second, path + "\\" + entry.second->name, false);
}

}  // namespace

std::string Lowercase(std::string text) {
  AsciiLowercase(text);
  return text;
}

bool SplitKeyPath(const char* path, std::vector<std::string>* names) {
  names->clear();
  const std::string text = path != nullptr ? path : "";
  for (size_t begin = 0; begin < text.size();) {
    const size_t end = std::min(text.find('\\', begin), text.size());
    if (end == begin) return false;
    names->push_back(text.substr(begin, end - begin));
    begin = end + 1;
  }
  return true;
}

RegistryKey* RegistryKey::Subkey(const std::string& subkeyName, bool create) {
  const std::string folded = Lowercase(subkeyName);
  const auto found = subkeys.find(folded);
  if (found != subkeys.end()) return found->second.get();
  if (!create) return nullptr;
  auto made = std::make_unique<RegistryKey>();
  made->name = subkeyName;
  return subkeys.emplace(folded, std::move(made)).first->second.get();
}

RegistryValue* RegistryKey::FindValue(const std::string& valueName) {
  const auto found = std::find_if(values.begin(), values.end(), [&valueName](const RegistryValue& value) {
    return _stricmp(value.name.c_str(), valueName.c_str()) == 0;
  });
  return found == values.end() ? nullptr : &*found;
}

void RegistryKey::SetValue(const std::string& valueName, DWORD type, std::string bytes) {
  RegistryValue* value = FindValue(valueName);
  if (value == nullptr) value = &values.emplace_back(RegistryValue{valueName, type, {}});
  value->type = type;
  value->data = std::move(bytes);
}

bool ApplyRegistryText(const std::string& text, RegistryTree* tree) {
  if (text.find('\0') != std::string::npos) return false;  // no name or string can hold one
  size_t at = text.compare(0, 3, "\xEF\xBB\xBF") == 0 ? 3 : 0;  // the BOM editors may put first
  bool headerSeen = false, sectionSeen = false;
  RegistryKey* key = nullptr;
  while (at < text.size()) {
    const size_t end = std::min(text.find('\n', at), text.size());
    const std::string line = Trim(text.substr(at, end - at));
    at = end + 1;
    if (line.empty() || line[0] == ';') continue;
    if (!headerSeen) {
      if (line != kRegeditHeader) return false;
      headerSeen = true;
    } else if (line[0] == '[') {
      if (!ReadKeyHeader(line, tree, &key)) return false;
      sectionSeen = true;
    } else if (!sectionSeen || !ReadValueLine(line, key)) {
      return false;
    }
  }
  return headerSeen;
}

std::string FormatRegistryText(const RegistryTree& tree) {
  std::string out = kRegeditHeader;
  out += '\n';
  AppendKey(out, tree.localMachine, tree.localMachine.name, true);
  AppendKey(out, tree.currentUser, tree.currentUser.name, true);
  return out;
}

}  // namespace platform::standin
