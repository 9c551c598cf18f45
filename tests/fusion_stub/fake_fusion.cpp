// Stand-in fusion.dll for the host build: the four exports of the platform's fusion.dll over
// a small in-memory assembly cache that tests script and observe through a state file (the
// format is described in fake_fusion_state.h). Built on its own from the platform-documented
// declarations only, as the real fusion.dll is, so it proves that those declarations, not
// the tool's code, are the contract. Variants of this module lack one export each.
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <type_traits>
#include <vector>

#include "fusion_stub/fake_fusion_state.h"
#include "gac/fusion.h"
#include "platform/types.h"

namespace {

using fake_fusion::Call;
using fake_fusion::Entry;
using fake_fusion::PointerText;
using fake_fusion::State;

constexpr HRESULT kFileNotFound = static_cast<HRESULT>(0x80070002u);
constexpr HRESULT kBadImageFormat = static_cast<HRESULT>(0x8007000Bu);
constexpr HRESULT kInvalidName = static_cast<HRESULT>(0x80131047u);  // FUSION_E_INVALID_NAME

int liveObjects = 0;

// ---- text helpers -------------------------------------------------------------------------

std::string Narrow(LPCWSTR text) {
  std::string out;
  if (text == nullptr) return out;
  for (size_t i = 0; text[i] != 0; ++i) {
    uint32_t code = text[i];
    if (code >= 0xD800 && code <= 0xDBFF && text[i + 1] >= 0xDC00 && text[i + 1] <= 0xDFFF) {
      code = 0x10000 + ((code - 0xD800) << 10) + (static_cast<uint32_t>(text[i + 1]) - 0xDC00);
      ++i;
    }
    if (code < 0x80) {
      out += static_cast<char>(code);
    } else if (code < 0x800) {
      out += static_cast<char>(0xC0 | (code >> 6));
      out += static_cast<char>(0x80 | (code & 0x3F));
    } else if (code < 0x10000) {
      out += static_cast<char>(0xE0 | (code >> 12));
      out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (code & 0x3F));
    } else {
      out += static_cast<char>(0xF0 | (code >> 18));
      out += static_cast<char>(0x80 | ((code >> 12) & 0x3F));
      out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (code & 0x3F));
    }
  }
  return out;
}

// UTF-8 to UTF-16 with the terminator; a sequence cut short is taken byte by byte.
std::vector<WCHAR> Widen(const std::string& text) {
  std::vector<WCHAR> out;
  for (size_t i = 0; i < text.size();) {
    const auto lead = static_cast<unsigned char>(text[i]);
    uint32_t code = lead;
    size_t extra = lead >= 0xF0 ? 3 : lead >= 0xE0 ? 2 : lead >= 0xC0 ? 1 : 0;
    if (i + extra >= text.size()) extra = 0;
    if (extra != 0) {
      code = lead & (0x3F >> extra);
      for (size_t k = 1; k <= extra; ++k) code = (code << 6) | (static_cast<unsigned char>(text[i + k]) & 0x3F);
    }
    i += extra + 1;
    if (code >= 0x10000) {
      out.push_back(static_cast<WCHAR>(0xD800 + ((code - 0x10000) >> 10)));
      out.push_back(static_cast<WCHAR>(0xDC00 + ((code - 0x10000) & 0x3FF)));
    } else {
      out.push_back(static_cast<WCHAR>(code));
    }
  }
  out.push_back(0);
  return out;
}

char AsciiLower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

bool EqualsIgnoringCase(const std::string& left, const std::string& right) {
  if (left.size() != right.size()) return false;
  for (size_t i = 0; i < left.size(); ++i) {
    if (AsciiLower(left[i]) != AsciiLower(right[i])) return false;
  }
  return true;
}

std::string Trim(const std::string& text) {
  const size_t first = text.find_first_not_of(" \t");
  if (first == std::string::npos) return "";
  return text.substr(first, text.find_last_not_of(" \t") - first + 1);
}

std::string SlashPath(std::string path) {
  for (char& c : path) {
    if (c == '\\') c = '/';
  }
  return path;
}

// ---- display names ------------------------------------------------------------------------

// A parsed display name "Name, Key=Value, ...". Like Wine's fusion, only the attributes it
// knows (Version, Culture, PublicKeyToken) narrow the match; any other attribute, such as
// "File Version=9", is accepted and ignored, so "Name,File Version=9" matches every
// version of Name.
struct DisplayName {
  std::string name;
  std::vector<std::pair<std::string, std::string>> attributes;

  // False when the text is not a display name (empty, or an attribute without "=").
  bool Parse(const std::string& text) {
    std::istringstream in(text);
    std::string part;
    if (!std::getline(in, part, ',')) return false;
    name = Trim(part);
    if (name.empty()) return false;
    while (std::getline(in, part, ',')) {
      const size_t equals = part.find('=');
      if (equals == std::string::npos) return false;
      attributes.emplace_back(Trim(part.substr(0, equals)), Trim(part.substr(equals + 1)));
    }
    return true;
  }

  std::string Attribute(const std::string& key) const {
    for (const auto& [name, value] : attributes) {
      if (EqualsIgnoringCase(name, key)) return value;
    }
    return "";
  }

  // Matched against the entry's display name, so an entry without a simple name (GetName
  // reports none) is still listed; an entry without a display name by its simple name.
  bool Matches(const Entry& entry) const {
    DisplayName cached;
    if (!cached.Parse(entry.displayName)) cached.name = entry.name;
    if (!EqualsIgnoringCase(name, cached.name)) return false;
    for (const auto& [key, value] : attributes) {
      if (EqualsIgnoringCase(key, "Version")) {
        // Only the components given must agree: "Version=9" matches every 9.x.y.z.
        const uint16_t have[4] = {entry.version.major, entry.version.minor, entry.version.build, entry.version.revision};
        std::istringstream in(value);
        std::string component;
        for (int i = 0; i < 4 && std::getline(in, component, '.'); ++i) {
          if (std::strtoul(component.c_str(), nullptr, 10) != have[i]) return false;
        }
      } else if (EqualsIgnoringCase(key, "Culture") || EqualsIgnoringCase(key, "PublicKeyToken")) {
        const std::string cachedValue = cached.Attribute(key);
        if (!cachedValue.empty() && !EqualsIgnoringCase(cachedValue, value)) return false;
      }
    }
    return true;
  }
};

// ---- the state of one call ----------------------------------------------------------------

// Loads the state file when a call starts and writes it back, with the call logged and the
// live-object count, when the call ends. Without ZT4GAC_FAKE_FUSION_STATE the state lives
// in this module's memory only.
class Session {
 public:
  explicit Session(const std::string& method) {
    const char* path = std::getenv("ZT4GAC_FAKE_FUSION_STATE");
    if (path != nullptr && *path != '\0') {
      path_ = path;
      state_ = State::Load(path_);
    } else {
      state_ = MemoryState();
    }
    state_.calls.push_back(Call{method, {}});
  }

  ~Session() {
    state_.live = liveObjects;
    if (!path_.empty()) {
      state_.Save(path_);
    } else {
      MemoryState() = state_;
    }
  }

  Session(const Session&) = delete;
  Session& operator=(const Session&) = delete;

  State& state() { return state_; }

  void Log(const std::string& key, const std::string& value) {
    state_.calls.back().arguments.emplace_back(key, value);
  }

  // The scripted result of this call, used up; false when none is scripted.
  bool TakeScripted(const std::string& call, fake_fusion::Scripted* scripted) {
    for (auto it = state_.next.begin(); it != state_.next.end(); ++it) {
      if (it->call == call) {
        *scripted = *it;
        state_.next.erase(it);
        Log("scripted", fake_fusion::HresultText(scripted->result));
        return true;
      }
    }
    return false;
  }

 private:
  static State& MemoryState() {
    static State state;
    return state;
  }

  std::string path_;
  State state_;
};

void LogReference(Session& session, LPCFUSION_INSTALL_REFERENCE reference) {
  session.Log("reference", PointerText(reference));
  if (reference == nullptr) return;
  session.Log("referenceSize", std::to_string(reference->cbSize));
  session.Log("referenceFlags", std::to_string(reference->dwFlags));
  char scheme[40];
  std::snprintf(scheme, sizeof scheme, "%08x-%04x-%04x-%02x%02x", static_cast<unsigned>(reference->guidScheme.Data1),
                reference->guidScheme.Data2, reference->guidScheme.Data3, reference->guidScheme.Data4[0],
                reference->guidScheme.Data4[1]);
  session.Log("referenceScheme", scheme);
  session.Log("referenceIdentifier", Narrow(reference->szIdentifier));
  session.Log("referenceData", Narrow(reference->szNonCannonicalData));
}

// ---- interface objects --------------------------------------------------------------------

// Reference counting shared by the three interfaces. The virtual destructor comes after the
// interface's own slots, so the documented vtable stays as it is.
template <typename Interface>
class Counted : public Interface {
 public:
  explicit Counted(const char* kind) : kind_(kind) { ++liveObjects; }
  virtual ~Counted() { --liveObjects; }

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID, void** object) override {
    Session session(std::string(kind_) + ".QueryInterface");
    if (object != nullptr) *object = nullptr;
    return E_NOINTERFACE;
  }

  ULONG STDMETHODCALLTYPE AddRef() override {
    Session session(std::string(kind_) + ".AddRef");
    return ++references_;
  }

  ULONG STDMETHODCALLTYPE Release() override {
    Session session(std::string(kind_) + ".Release");
    const ULONG left = --references_;
    session.Log("references", std::to_string(left));
    if (left == 0) delete this;
    return left;
  }

 private:
  const char* kind_;
  ULONG references_ = 1;
};

class AssemblyName final : public Counted<IAssemblyName> {
 public:
  explicit AssemblyName(const Entry& entry) : Counted("IAssemblyName"), entry_(entry) {}

  const Entry& entry() const { return entry_; }

  HRESULT STDMETHODCALLTYPE SetProperty(DWORD, LPVOID, DWORD) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetProperty(DWORD, LPVOID, LPDWORD) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE Finalize() override { return E_NOTIMPL; }

  HRESULT STDMETHODCALLTYPE GetDisplayName(LPWSTR buffer, LPDWORD length, DWORD flags) override {
    Session session("IAssemblyName.GetDisplayName");
    session.Log("entry", entry_.displayName);
    session.Log("buffer", buffer == nullptr ? "null" : "given");
    session.Log("length", length == nullptr ? "null" : std::to_string(*length));
    session.Log("flags", std::to_string(flags));
    if (length == nullptr) return E_INVALIDARG;

    const std::vector<WCHAR> text = Widen(entry_.displayName);
    const auto needed = static_cast<DWORD>(text.size());
    if (buffer == nullptr) {
      if (entry_.displayLength != 0) {
        *length = entry_.displayLength;
        return E_NOT_SUFFICIENT_BUFFER;
      }
      // No display name: nothing to hand out, and nothing wrong.
      *length = entry_.displayName.empty() ? 0 : needed;
      return entry_.displayName.empty() ? S_OK : E_NOT_SUFFICIENT_BUFFER;
    }
    if (entry_.displayResult != 0) return entry_.displayResult;
    if (*length < needed) {
      *length = needed;
      return E_NOT_SUFFICIENT_BUFFER;
    }
    for (size_t i = 0; i < text.size(); ++i) buffer[i] = text[i];
    *length = needed;
    return S_OK;
  }

  HRESULT STDMETHODCALLTYPE Reserved(REFIID, IUnknown*, IUnknown*, LPCWSTR, long long, LPVOID, DWORD,
                                     LPVOID*) override {
    return E_NOTIMPL;
  }

  // An entry without a simple name reports length 0 and writes nothing, as a name object
  // without a name does.
  HRESULT STDMETHODCALLTYPE GetName(LPDWORD length, WCHAR* name) override {
    Session session("IAssemblyName.GetName");
    session.Log("entry", entry_.displayName);
    session.Log("buffer", name == nullptr ? "null" : "given");
    session.Log("length", length == nullptr ? "null" : std::to_string(*length));
    if (length == nullptr) return E_INVALIDARG;

    const HRESULT scripted = entry_.nameResult;
    if (entry_.name.empty()) {
      *length = 0;
      return scripted != 0 ? scripted : S_OK;
    }
    const std::vector<WCHAR> text = Widen(entry_.name);
    const auto needed = static_cast<DWORD>(text.size());
    if (name == nullptr || *length < needed) {
      *length = needed;
      return scripted != 0 ? scripted : E_NOT_SUFFICIENT_BUFFER;
    }
    if (scripted != 0) return scripted;
    for (size_t i = 0; i < text.size(); ++i) name[i] = text[i];
    *length = needed;
    return S_OK;
  }

  HRESULT STDMETHODCALLTYPE GetVersion(LPDWORD high, LPDWORD low) override {
    Session session("IAssemblyName.GetVersion");
    session.Log("entry", entry_.displayName);
    if (entry_.versionResult != 0) return entry_.versionResult;
    if (high == nullptr || low == nullptr) return E_INVALIDARG;
    *high = static_cast<DWORD>(entry_.version.major) << 16 | entry_.version.minor;
    *low = static_cast<DWORD>(entry_.version.build) << 16 | entry_.version.revision;
    return S_OK;
  }

  HRESULT STDMETHODCALLTYPE IsEqual(IAssemblyName*, DWORD) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE Clone(IAssemblyName**) override { return E_NOTIMPL; }

 private:
  Entry entry_;
};

class AssemblyEnum final : public Counted<IAssemblyEnum> {
 public:
  explicit AssemblyEnum(std::vector<Entry> entries) : Counted("IAssemblyEnum"), entries_(std::move(entries)) {}

  HRESULT STDMETHODCALLTYPE GetNextAssembly(LPVOID reserved, IAssemblyName** name, DWORD flags) override {
    Session session("IAssemblyEnum.GetNextAssembly");
    session.Log("reserved", PointerText(reserved));
    session.Log("flags", std::to_string(flags));
    if (name == nullptr) return E_INVALIDARG;
    *name = nullptr;

    fake_fusion::Scripted scripted;
    const bool isScripted = session.TakeScripted("GetNextAssembly", &scripted);
    if (isScripted && FAILED(scripted.result) && !scripted.handsOutObject) return scripted.result;
    if (position_ >= entries_.size()) return isScripted ? scripted.result : S_FALSE;
    session.Log("entry", entries_[position_].displayName);
    *name = new AssemblyName(entries_[position_++]);
    return isScripted ? scripted.result : S_OK;
  }

  HRESULT STDMETHODCALLTYPE Reset() override {
    position_ = 0;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE Clone(IAssemblyEnum**) override { return E_NOTIMPL; }

 private:
  std::vector<Entry> entries_;
  size_t position_ = 0;
};

class AssemblyCache final : public Counted<IAssemblyCache> {
 public:
  AssemblyCache() : Counted("IAssemblyCache") {}

  HRESULT STDMETHODCALLTYPE UninstallAssembly(DWORD flags, LPCWSTR assemblyName, LPCFUSION_INSTALL_REFERENCE reference,
                                              ULONG* disposition) override {
    Session session("IAssemblyCache.UninstallAssembly");
    const std::string name = Narrow(assemblyName);
    session.Log("flags", std::to_string(flags));
    session.Log("name", assemblyName == nullptr ? "(null)" : name);
    LogReference(session, reference);
    session.Log("disposition", disposition == nullptr ? "null" : "given");

    fake_fusion::Scripted scripted;
    const bool isScripted = session.TakeScripted("UninstallAssembly", &scripted);
    if (isScripted && FAILED(scripted.result)) return scripted.result;
    const HRESULT result = Uninstall(session.state(), assemblyName == nullptr ? nullptr : name.c_str(), disposition);
    return isScripted ? scripted.result : result;
  }

  HRESULT STDMETHODCALLTYPE QueryAssemblyInfo(DWORD, LPCWSTR, ASSEMBLY_INFO*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE CreateAssemblyCacheItem(DWORD, LPVOID, IAssemblyCacheItem**, LPCWSTR) override {
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE CreateAssemblyScavenger(IUnknown**) override { return E_NOTIMPL; }

  HRESULT STDMETHODCALLTYPE InstallAssembly(DWORD flags, LPCWSTR manifestFilePath,
                                            LPCFUSION_INSTALL_REFERENCE reference) override {
    Session session("IAssemblyCache.InstallAssembly");
    const std::string path = Narrow(manifestFilePath);
    session.Log("flags", std::to_string(flags));
    session.Log("path", manifestFilePath == nullptr ? "(null)" : path);
    LogReference(session, reference);

    fake_fusion::Scripted scripted;
    const bool isScripted = session.TakeScripted("InstallAssembly", &scripted);
    if (isScripted && FAILED(scripted.result)) return scripted.result;
    if (manifestFilePath == nullptr) return E_INVALIDARG;

    std::ifstream file(SlashPath(path), std::ios::binary);
    if (!file) return kFileNotFound;
    std::string content((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    if (content.rfind("not an assembly", 0) == 0) return kBadImageFormat;

    Entry entry;
    const std::string slashed = SlashPath(path);
    entry.name = slashed.substr(slashed.find_last_of('/') + 1);
    if (entry.name.size() > 4 && EqualsIgnoringCase(entry.name.substr(entry.name.size() - 4), ".dll")) {
      entry.name.resize(entry.name.size() - 4);
    }
    State& state = session.state();
    for (const fake_fusion::InstallVersion& version : state.installVersions) {
      if (SlashPath(version.path) == slashed) entry.version = version.version;
    }
    entry.displayName = entry.name + ", Version=" + fake_fusion::VersionText(entry.version) +
                        ", Culture=neutral, PublicKeyToken=null";

    HRESULT result = S_OK;
    bool replaced = false;
    for (Entry& cached : state.entries) {
      if (EqualsIgnoringCase(cached.displayName, entry.displayName)) {
        if (flags & IASSEMBLYCACHE_INSTALL_FLAG_REFRESH) cached = entry;
        else result = S_FALSE;
        replaced = true;
      }
    }
    if (!replaced) state.entries.push_back(entry);
    return isScripted ? scripted.result : result;
  }

 private:
  static HRESULT Uninstall(State& state, const char* name, ULONG* disposition) {
    for (const fake_fusion::UninstallScript& script : state.uninstallScripts) {
      if (name == nullptr || script.displayName != name) continue;
      if (disposition != nullptr) *disposition = script.disposition;
      if (SUCCEEDED(script.result) && script.disposition == IASSEMBLYCACHE_UNINSTALL_DISPOSITION_UNINSTALLED) {
        Remove(state, name);
      }
      return script.result;
    }

    DisplayName pattern;
    if (name == nullptr || !pattern.Parse(name)) return kInvalidName;
    const bool removed = Remove(state, name);
    if (disposition != nullptr) {
      *disposition = removed ? IASSEMBLYCACHE_UNINSTALL_DISPOSITION_UNINSTALLED
                             : IASSEMBLYCACHE_UNINSTALL_DISPOSITION_ALREADY_UNINSTALLED;
    }
    return removed ? S_OK : S_FALSE;
  }

  // Removes the entries the display name matches; false when none did.
  static bool Remove(State& state, const std::string& displayName) {
    DisplayName pattern;
    if (!pattern.Parse(displayName)) return false;
    const size_t before = state.entries.size();
    std::vector<Entry> kept;
    for (const Entry& entry : state.entries) {
      if (!pattern.Matches(entry)) kept.push_back(entry);
    }
    state.entries = kept;
    return kept.size() != before;
  }
};

// Hands out `object` through `out` unless the scripted result is a failure without "object"
// or says "noobject".
template <typename Interface, typename Make>
HRESULT HandOut(Session& session, const char* call, Interface** out, HRESULT normal, Make make) {
  fake_fusion::Scripted scripted;
  const bool isScripted = session.TakeScripted(call, &scripted);
  if (isScripted && FAILED(scripted.result) && !scripted.handsOutObject) return scripted.result;
  if (isScripted && scripted.withholdsObject) return scripted.result;
  if (!isScripted && normal != S_OK) return normal;
  *out = make();
  return isScripted ? scripted.result : normal;
}

}  // namespace

// Which of these a build of the module exports is decided by its linker version script.

extern "C" HRESULT WINAPI CreateAssemblyCache(IAssemblyCache** cache, DWORD reserved) {
  Session session("CreateAssemblyCache");
  session.Log("reserved", std::to_string(reserved));
  if (cache == nullptr) return E_INVALIDARG;
  *cache = nullptr;
  return HandOut(session, "CreateAssemblyCache", cache, S_OK, [] { return new AssemblyCache(); });
}

extern "C" HRESULT WINAPI CreateAssemblyNameObject(IAssemblyName** name, LPCWSTR assemblyName, DWORD flags,
                                                           LPVOID reserved) {
  Session session("CreateAssemblyNameObject");
  const std::string text = Narrow(assemblyName);
  session.Log("name", assemblyName == nullptr ? "(null)" : text);
  session.Log("flags", std::to_string(flags));
  session.Log("reserved", PointerText(reserved));
  if (name == nullptr) return E_INVALIDARG;
  *name = nullptr;

  DisplayName parsed;
  HRESULT normal = S_OK;
  if (assemblyName == nullptr || *assemblyName == 0) {
    normal = E_INVALIDARG;
  } else if (!parsed.Parse(text)) {
    normal = kInvalidName;
  }
  return HandOut(session, "CreateAssemblyNameObject", name, normal, [&] {
    Entry pattern;
    pattern.displayName = text;
    pattern.name = parsed.name;
    return new AssemblyName(pattern);
  });
}

extern "C" HRESULT WINAPI CreateAssemblyEnum(IAssemblyEnum** entries, IUnknown* reserved, IAssemblyName* name,
                                                     DWORD cacheFlags, LPVOID reserved2) {
  Session session("CreateAssemblyEnum");
  session.Log("reservedUnknown", PointerText(reserved));
  // Only this module's own name objects ever reach it.
  const auto* pattern = static_cast<AssemblyName*>(name);
  session.Log("name", pattern == nullptr ? "(null)" : pattern->entry().displayName);
  session.Log("flags", std::to_string(cacheFlags));
  session.Log("reserved", PointerText(reserved2));
  if (entries == nullptr) return E_INVALIDARG;
  *entries = nullptr;

  std::vector<Entry> matching;
  DisplayName parsed;
  const bool all = pattern == nullptr || !parsed.Parse(pattern->entry().displayName);
  for (const Entry& entry : session.state().entries) {
    if (all || parsed.Matches(entry)) matching.push_back(entry);
  }
  // Like the platform's: nothing matching is S_FALSE and no enumerator.
  const HRESULT normal = matching.empty() ? S_FALSE : S_OK;
  return HandOut(session, "CreateAssemblyEnum", entries, normal, [&] { return new AssemblyEnum(matching); });
}

extern "C" HRESULT WINAPI CreateInstallReferenceEnum(IInstallReferenceEnum** references, IAssemblyName*, DWORD,
                                                             LPVOID) {
  Session session("CreateInstallReferenceEnum");
  if (references != nullptr) *references = nullptr;
  return E_NOTIMPL;
}

static_assert(std::is_same_v<decltype(&CreateAssemblyCache), CreateAssemblyCacheFunction>);
static_assert(std::is_same_v<decltype(&CreateAssemblyNameObject), CreateAssemblyNameObjectFunction>);
static_assert(std::is_same_v<decltype(&CreateAssemblyEnum), CreateAssemblyEnumFunction>);
static_assert(std::is_same_v<decltype(&CreateInstallReferenceEnum), CreateInstallReferenceEnumFunction>);
