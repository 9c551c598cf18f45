// The state file through which tests script the stand-in fusion.dll and read back what it saw.
// The stand-in reads the file named by ZT4GAC_FAKE_FUSION_STATE at the start of every call
// into it (entry point or interface method) and writes it back at the end of the call, so an
// in-process test and a test that runs the tool as a subprocess use it alike.
//
// One record a line, fields separated by a TAB; in text fields the stand-in writes TAB,
// newline, carriage return and backslash as \t, \n, \r and \\. Lines starting with '#' and
// unknown records are ignored (and dropped when the stand-in rewrites the file).
//
// Written by the test:
//   entry  <display name> <simple name> <a.b.c.d> [<option>=<value> ...]
//       A cached assembly, in enumeration order. <display name> is what GetDisplayName gives
//       (an empty one: length 0 and S_OK); an empty <simple name> makes GetName report length 0. Options (HRESULTs in hex or decimal):
//         displayLength=N   the length GetDisplayName reports when asked without a buffer
//         displayResult=H   GetDisplayName with a buffer returns H and writes nothing
//         nameResult=H      GetName returns H (its length is still reported)
//         versionResult=H   GetVersion returns H and writes nothing
//   version  <manifest path> <a.b.c.d>
//       The version InstallAssembly gives the file (default 1.0.0.0). Paths compare with '\'
//       and '/' taken as the same.
//   next  <call> <HRESULT> [object|noobject]
//       The next call of <call> (CreateAssemblyCache, CreateAssemblyNameObject,
//       CreateAssemblyEnum, InstallAssembly, UninstallAssembly, GetNextAssembly) returns
//       <HRESULT>; the record is used up. A success code still does the call's work (S_FALSE
//       from InstallAssembly installs); a failure does none and hands out no object unless
//       "object" is given, which hands out one all the same. "noobject" makes one of the
//       three Create calls hand out no object whatever <HRESULT> says.
//   uninstall  <display name> <disposition> <HRESULT>
//       UninstallAssembly of exactly that name sets the disposition and returns the HRESULT;
//       the entry goes only for disposition 1 with a success HRESULT. Not used up.
//
// Written by the stand-in:
//   call  <method> [<key>=<value> ...]    every call made, in order, with its arguments
//   live  <N>                             interface objects alive after the last call
//
// Without scripting the stand-in behaves like a small GAC: InstallAssembly adds the file
// (simple name = file name without ".dll"; a missing file or one whose content starts with
// "not an assembly" fails), UninstallAssembly removes what the name matches, and the
// enumerator lists what CreateAssemblyNameObject's display name matches.
#pragma once

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

namespace fake_fusion {

struct Version {
  uint16_t major = 1;
  uint16_t minor = 0;
  uint16_t build = 0;
  uint16_t revision = 0;
};

struct Entry {
  std::string displayName;
  std::string name;
  Version version;
  // Faults of this entry's name object; see "entry" above. Zero means "not scripted".
  uint32_t displayLength = 0;
  int32_t displayResult = 0;
  int32_t nameResult = 0;
  int32_t versionResult = 0;
};

struct InstallVersion {
  std::string path;
  Version version;
};

struct Scripted {
  std::string call;
  int32_t result = 0;
  bool handsOutObject = false;
  bool withholdsObject = false;
};

struct UninstallScript {
  std::string displayName;
  uint32_t disposition = 0;
  int32_t result = 0;
};

struct Call {
  std::string method;
  std::vector<std::pair<std::string, std::string>> arguments;

  // The argument's value, or "(absent)".
  std::string Arg(const std::string& key) const {
    for (const auto& [name, value] : arguments) {
      if (name == key) return value;
    }
    return "(absent)";
  }
};

inline std::string PointerText(const void* pointer) {
  if (pointer == nullptr) return "null";
  char text[32];
  std::snprintf(text, sizeof text, "%#llx", static_cast<unsigned long long>(reinterpret_cast<uintptr_t>(pointer)));
  return text;
}

inline std::string HresultText(int32_t result) {
  char text[16];
  std::snprintf(text, sizeof text, "0x%08x", static_cast<unsigned>(result));
  return text;
}

inline std::string VersionText(const Version& version) {
  return std::to_string(version.major) + "." + std::to_string(version.minor) + "." + std::to_string(version.build) +
         "." + std::to_string(version.revision);
}

// "a.b.c.d"; missing components are 0, components above 65535 are cut to 65535.
inline Version ParseVersion(const std::string& text) {
  uint16_t parts[4] = {0, 0, 0, 0};
  std::istringstream in(text);
  std::string part;
  for (int i = 0; i < 4 && std::getline(in, part, '.'); ++i) {
    const unsigned long value = std::strtoul(part.c_str(), nullptr, 10);
    parts[i] = static_cast<uint16_t>(value > 65535 ? 65535 : value);
  }
  return Version{parts[0], parts[1], parts[2], parts[3]};
}

inline int32_t ParseHresult(const std::string& text) {
  return static_cast<int32_t>(static_cast<uint32_t>(std::strtoull(text.c_str(), nullptr, 0)));
}

inline std::string Escape(const std::string& text) {
  std::string out;
  for (char c : text) {
    switch (c) {
      case '\t': out += "\\t"; break;
      case '\n': out += "\\n"; break;
      case '\r': out += "\\r"; break;
      case '\\': out += "\\\\"; break;
      default: out += c;
    }
  }
  return out;
}

inline std::string Unescape(const std::string& text) {
  std::string out;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '\\' || i + 1 == text.size()) {
      out += text[i];
      continue;
    }
    const char next = text[++i];
    out += next == 't' ? '\t' : next == 'n' ? '\n' : next == 'r' ? '\r' : next;
  }
  return out;
}

struct State {
  std::vector<Entry> entries;
  std::vector<InstallVersion> installVersions;
  std::vector<Scripted> next;
  std::vector<UninstallScript> uninstallScripts;
  std::vector<Call> calls;
  int live = 0;

  std::vector<Call> CallsTo(const std::string& method) const {
    std::vector<Call> found;
    for (const Call& call : calls) {
      if (call.method == method) found.push_back(call);
    }
    return found;
  }

  std::string Serialize() const {
    std::ostringstream out;
    for (const Entry& entry : entries) {
      out << "entry\t" << Escape(entry.displayName) << '\t' << Escape(entry.name) << '\t' << VersionText(entry.version);
      if (entry.displayLength != 0) out << "\tdisplayLength=" << entry.displayLength;
      if (entry.displayResult != 0) out << "\tdisplayResult=" << HresultText(entry.displayResult);
      if (entry.nameResult != 0) out << "\tnameResult=" << HresultText(entry.nameResult);
      if (entry.versionResult != 0) out << "\tversionResult=" << HresultText(entry.versionResult);
      out << '\n';
    }
    for (const InstallVersion& version : installVersions) {
      out << "version\t" << Escape(version.path) << '\t' << VersionText(version.version) << '\n';
    }
    for (const Scripted& scripted : next) {
      out << "next\t" << scripted.call << '\t' << HresultText(scripted.result) << (scripted.handsOutObject ? "\tobject" : scripted.withholdsObject ? "\tnoobject" : "")
          << '\n';
    }
    for (const UninstallScript& script : uninstallScripts) {
      out << "uninstall\t" << Escape(script.displayName) << '\t' << script.disposition << '\t'
          << HresultText(script.result) << '\n';
    }
    for (const Call& call : calls) {
      out << "call\t" << call.method;
      for (const auto& [key, value] : call.arguments) out << '\t' << key << '=' << Escape(value);
      out << '\n';
    }
    out << "live\t" << live << '\n';
    return out.str();
  }

  static State Parse(const std::string& text) {
    State state;
    std::istringstream in(text);
    std::string line;
    while (std::getline(in, line)) {
      if (!line.empty() && line.back() == '\r') line.pop_back();
      if (line.empty() || line[0] == '#') continue;
      std::vector<std::string> fields;
      std::istringstream splitter(line);
      std::string field;
      while (std::getline(splitter, field, '\t')) fields.push_back(field);
      if (line.back() == '\t') fields.emplace_back();
      const std::string& kind = fields[0];
      if (kind == "entry" && fields.size() >= 4) {
        Entry entry{Unescape(fields[1]), Unescape(fields[2]), ParseVersion(fields[3])};
        for (size_t i = 4; i < fields.size(); ++i) {
          const size_t equals = fields[i].find('=');
          if (equals == std::string::npos) continue;
          const std::string key = fields[i].substr(0, equals);
          const std::string value = fields[i].substr(equals + 1);
          if (key == "displayLength") entry.displayLength = static_cast<uint32_t>(std::strtoull(value.c_str(), nullptr, 0));
          if (key == "displayResult") entry.displayResult = ParseHresult(value);
          if (key == "nameResult") entry.nameResult = ParseHresult(value);
          if (key == "versionResult") entry.versionResult = ParseHresult(value);
        }
        state.entries.push_back(entry);
      } else if (kind == "version" && fields.size() >= 3) {
        state.installVersions.push_back({Unescape(fields[1]), ParseVersion(fields[2])});
      } else if (kind == "next" && fields.size() >= 3) {
        state.next.push_back({fields[1], ParseHresult(fields[2]), fields.size() >= 4 && fields[3] == "object",
                              fields.size() >= 4 && fields[3] == "noobject"});
      } else if (kind == "uninstall" && fields.size() >= 4) {
        state.uninstallScripts.push_back({Unescape(fields[1]),
                                          static_cast<uint32_t>(std::strtoul(fields[2].c_str(), nullptr, 0)),
                                          ParseHresult(fields[3])});
      } else if (kind == "call" && fields.size() >= 2) {
        Call call{fields[1], {}};
        for (size_t i = 2; i < fields.size(); ++i) {
          const size_t equals = fields[i].find('=');
          if (equals == std::string::npos) continue;
          call.arguments.emplace_back(fields[i].substr(0, equals), Unescape(fields[i].substr(equals + 1)));
        }
        state.calls.push_back(call);
      } else if (kind == "live" && fields.size() >= 2) {
        state.live = std::atoi(fields[1].c_str());
      }
    }
    return state;
  }

  // A missing or unreadable file is an empty state.
  static State Load(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    std::ostringstream text;
    text << file.rdbuf();
    return Parse(text.str());
  }

  bool Save(const std::string& path) const {
    const std::string temporary = path + ".tmp";
    {
      std::ofstream file(temporary, std::ios::binary | std::ios::trunc);
      file << Serialize();
      if (!file.flush()) return false;
    }
    return std::rename(temporary.c_str(), path.c_str()) == 0;
  }
};

}  // namespace fake_fusion
