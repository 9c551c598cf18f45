// The fake fusion.dll: the four exports of the platform's fusion.dll over a small assembly
// cache in memory, driven through the controls of fake_fusion.h. It shares only the interface
// declarations with the tool; the documented values it checks and answers with are spelled
// here, so that a wrong value in the tool's header shows as a call the fake refuses or a
// disposition read wrongly. Host builds only, where STDMETHODCALLTYPE is empty.
#include "fake_fusion/fake_fusion.h"

#include <strings.h>

#include <algorithm>
#include <codecvt>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <locale>
#include <string>
#include <vector>

#include "gac/fusion.h"

namespace {

constexpr HRESULT kBadImageFormat = static_cast<HRESULT>(0x8007000Bu);  // COR_E_BADIMAGEFORMAT, also for no file
constexpr HRESULT kInvalidName = static_cast<HRESULT>(0x80131047u);     // FUSION_E_INVALID_NAME
// The documented flags a caller passes, and the dispositions UninstallAssembly reports.
constexpr DWORD kParseDisplayName = 0x1;                     // CANOF_PARSE_DISPLAY_NAME
constexpr DWORD kGlobalCache = 0x2;                          // ASM_CACHE_GAC
constexpr DWORD kVersionTokenCustom = 0x1 | 0x4 | 0x10;      // ASM_DISPLAYF_VERSION, _PUBLIC_KEY_TOKEN, _CUSTOM
constexpr DWORD kRefresh = 0x1, kForceRefresh = 0x2;         // IASSEMBLYCACHE_INSTALL_FLAG_REFRESH, _FORCE_REFRESH
constexpr ULONG kUninstalled = 1, kAlreadyUninstalled = 3;   // IASSEMBLYCACHE_UNINSTALL_DISPOSITION_...

// A cached assembly, or the pattern of a name object (whose version is empty). `file` is what its
// file holds: the version, and after a "+" the build of the file, which refreshes compare.
struct Entry { std::string name, version, display, file; int build = 0; };

// What a call does: its own work, or (scripted) the result and value of a script or fuzz byte.
struct Outcome {
  bool scripted = false; HRESULT result = S_OK; DWORD value = 0;
  bool Fails() const { return scripted && FAILED(result); }
  HRESULT Or(HRESULT own) const { return scripted ? result : own; }
};

// Fires on the nth call of `method` whose subject holds `match`, or on every such call.
struct Script { std::string method, match; int nth; bool every; Outcome outcome; bool fired = false; };

struct State {
  std::vector<Entry> cache; std::vector<Script> scripts;
  const uint8_t* bytes = nullptr; size_t bytesLeft = 0;
  int live = 0, misuse = 0; std::string listing;
} fake;

// UTF-8 and UTF-16; what does not convert becomes "?".
std::wstring_convert<std::codecvt_utf8_utf16<char16_t>, char16_t> utf8("?", u"?");

HRESULT Misuse() { return ++fake.misuse, E_INVALIDARG; }

bool Same(const std::string& left, const std::string& right) { return strcasecmp(left.c_str(), right.c_str()) == 0; }

// One fuzz byte a call: below 0x80 the call does its own work; otherwise bits 0-2 choose the
// result and bits 3-5 the reported value. `subject` is what the call names, as scripts match it.
Outcome Decide(const char* method, const std::string& subject) {
  static const HRESULT kResults[] = {S_OK, S_FALSE, E_FAIL, E_INVALIDARG, E_NOT_SUFFICIENT_BUFFER, E_OUTOFMEMORY,
                                     static_cast<HRESULT>(0x80070005u), kInvalidName};
  static const DWORD kValues[] = {0, 1, 2, 3, 5, 32767, 32768, 0xFFFFFFFFu};
  if (fake.bytesLeft > 0) {
    const uint8_t byte = (--fake.bytesLeft, *fake.bytes++);
    return byte < 0x80 ? Outcome{} : Outcome{true, kResults[byte & 7], kValues[(byte >> 3) & 7]};
  }
  Outcome outcome;
  for (Script& s : fake.scripts) {
    if (s.method != method || subject.find(s.match) == std::string::npos || (!s.every && --s.nth > 0)) continue;
    outcome = s.outcome, s.fired = true;
  }
  const auto spent = [](const Script& s) { return s.fired && !s.every; };
  fake.scripts.erase(std::remove_if(fake.scripts.begin(), fake.scripts.end(), spent), fake.scripts.end());
  return outcome;
}

// "a.b.c.d", four decimal components of at most 65535 and nothing else, packed as GetVersion reports it.
bool ParseVersion(const std::string& text, DWORD* high, DWORD* low) {
  unsigned p[4] = {};
  int used = -1;
  (void)std::sscanf(text.c_str(), "%5u.%5u.%5u.%5u%n", &p[0], &p[1], &p[2], &p[3], &used);
  *high = p[0] << 16 | p[1], *low = p[2] << 16 | p[3];
  return used == static_cast<int>(text.size()) && text[0] >= '0' && text[0] <= '9' &&
         *std::max_element(p, p + 4) < 65536;
}

Entry Cached(const std::string& name, const std::string& file) {
  const size_t plus = file.find('+');
  const std::string version = file.substr(0, plus);
  return {name, version, name + ", Version=" + version + ", Culture=neutral, PublicKeyToken=0123456789abcdef", file,
          plus == std::string::npos ? 0 : std::atoi(file.c_str() + plus + 1)};
}

// "Name[,Attr=Value...]" matches by the simple name alone: the attributes are ignored, as Wine's
// fusion.dll ignores ",File Version=9".
Entry Pattern(const std::string& text) { return {text.substr(0, text.find(',')), "", text, ""}; }

std::vector<Entry>::iterator Find(const std::string& display) {
  return std::find_if(fake.cache.begin(), fake.cache.end(), [&](const Entry& e) { return Same(e.display, display); });
}

// The file holds the assembly's version text; its name without ".dll" is the assembly's name.
HRESULT Install(std::string path, DWORD flags) {
  std::replace(path.begin(), path.end(), '\\', '/');
  std::ifstream in(path, std::ios::binary);
  std::string name = path.substr(path.rfind('/') + 1);
  if (name.size() > 4 && Same(name.substr(name.size() - 4), ".dll")) name.resize(name.size() - 4);
  const Entry made = Cached(name, std::string(std::istreambuf_iterator<char>(in), {}));
  DWORD high, low;
  if (!ParseVersion(made.version, &high, &low)) return kBadImageFormat;
  const auto known = Find(made.display);
  if (known == fake.cache.end()) return fake.cache.push_back(made), S_OK;
  // Cached already: a refresh replaces the files unless they are a later build, a forced refresh
  // always, and without either flag they stay.
  const bool replace = (flags & kForceRefresh) != 0 || ((flags & kRefresh) != 0 && made.build >= known->build);
  if (replace) known->file = made.file, known->build = made.build;
  return replace ? S_OK : S_FALSE;
}

// Hands out what `make` builds as the call's own result says (S_OK: an object), or as a script's value says.
template <typename Interface, typename Make>
HRESULT HandOut(const Outcome& outcome, Interface** out, HRESULT own, Make make) {
  *out = (outcome.scripted ? outcome.value != 0 : own == S_OK) ? make() : nullptr;
  return outcome.Or(own);
}

// The length protocol of GetDisplayName and GetName: the units needed with the terminator (0
// for an empty text), written only when the stated room holds them.
HRESULT CopyOut(const Outcome& outcome, const std::string& text, LPWSTR buffer, LPDWORD length) {
  const std::u16string wide = utf8.from_bytes(text);
  const DWORD needed = wide.empty() ? 0 : static_cast<DWORD>(wide.size() + 1), room = *length;
  if (room >= needed && !outcome.Fails()) std::copy_n(wide.c_str(), needed, buffer);
  *length = outcome.scripted ? outcome.value : needed;
  return outcome.Or(room >= needed ? S_OK : E_NOT_SUFFICIENT_BUFFER);
}

// One object type serves the three interfaces; the tool only ever sees the one it asked for.
// It counts as alive from its creation to its last Release.
class Object final : public IAssemblyCache, public IAssemblyEnum, public IAssemblyName {
 public:
  explicit Object(Entry entry = {}, std::vector<Entry> entries = {}) : entry_(entry), entries_(entries) { ++fake.live; }
  ~Object() { --fake.live; }
  bool Matches(const Entry& e) const { return Same(entry_.name, e.name); }
  const std::string& Display() const { return entry_.display; }

  HRESULT QueryInterface(REFIID, void** out) override { return out ? (*out = nullptr, E_NOINTERFACE) : Misuse(); }
  ULONG AddRef() override { return ++references_; }
  ULONG Release() override { const ULONG left = --references_; return left == 0 ? (delete this, 0) : left; }

  // IAssemblyCache
  HRESULT UninstallAssembly(DWORD flags, LPCWSTR name, LPCFUSION_INSTALL_REFERENCE, ULONG* disposition) override {
    if (flags != 0 || name == nullptr) return Misuse();
    const std::string display = utf8.to_bytes(name);
    const Outcome outcome = Decide("UninstallAssembly", display);
    const auto found = Find(display);
    const bool cached = found != fake.cache.end();
    const ULONG said = outcome.scripted ? outcome.value : cached ? kUninstalled : kAlreadyUninstalled;
    // The entry goes only when the answer says it is gone: one still in use (2), pending deletion
    // (4), held by another installation's reference (5) or not held by the one given (6) stays.
    const bool removed = cached && !outcome.Fails() && (said == kUninstalled || said == kAlreadyUninstalled);
    if (removed) fake.cache.erase(found);
    if (disposition != nullptr) *disposition = said;
    return outcome.Or(removed ? S_OK : S_FALSE);
  }
  HRESULT InstallAssembly(DWORD flags, LPCWSTR path, LPCFUSION_INSTALL_REFERENCE) override {
    if ((flags & ~(kRefresh | kForceRefresh)) != 0 || path == nullptr) return Misuse();
    const std::string file = utf8.to_bytes(path);
    const Outcome outcome = Decide("InstallAssembly", file);
    return outcome.Fails() ? outcome.result : outcome.Or(Install(file, flags));
  }
  HRESULT QueryAssemblyInfo(DWORD, LPCWSTR, ASSEMBLY_INFO*) override { return E_NOTIMPL; }
  HRESULT CreateAssemblyCacheItem(DWORD, LPVOID, IAssemblyCacheItem**, LPCWSTR) override { return E_NOTIMPL; }
  HRESULT CreateAssemblyScavenger(IUnknown**) override { return E_NOTIMPL; }

  // IAssemblyEnum: the entries that matched when it was made, in cache order.
  HRESULT GetNextAssembly(LPVOID reserved, IAssemblyName** name, DWORD flags) override {
    if (reserved != nullptr || name == nullptr || flags != 0) return Misuse();
    const HRESULT own = next_ < entries_.size() ? S_OK : S_FALSE;
    const Entry entry = own == S_OK ? entries_[next_] : Entry{};
    const Outcome outcome = Decide("GetNextAssembly", entry.display);
    if (own == S_OK && !outcome.Fails()) ++next_;
    return HandOut(outcome, name, own, [&] { return new Object(entry); });
  }
  HRESULT Reset() override { return next_ = 0, S_OK; }
  HRESULT Clone(IAssemblyEnum**) override { return E_NOTIMPL; }

  // IAssemblyName
  HRESULT GetDisplayName(LPWSTR buffer, LPDWORD length, DWORD flags) override {
    if (length == nullptr || flags != kVersionTokenCustom || (buffer == nullptr && *length != 0)) return Misuse();
    return CopyOut(Decide("GetDisplayName", entry_.display), entry_.display, buffer, length);
  }
  HRESULT GetName(LPDWORD length, WCHAR* name) override {
    if (length == nullptr || (name == nullptr && *length != 0)) return Misuse();
    return CopyOut(Decide("GetName", entry_.display), entry_.name, name, length);
  }
  HRESULT GetVersion(LPDWORD high, LPDWORD low) override {
    if (high == nullptr || low == nullptr) return Misuse();
    const Outcome outcome = Decide("GetVersion", entry_.display);
    if (!outcome.Fails()) (void)ParseVersion(entry_.version, high, low);
    return outcome.Or(S_OK);
  }
  HRESULT SetProperty(DWORD, LPVOID, DWORD) override { return E_NOTIMPL; }
  HRESULT GetProperty(DWORD, LPVOID, LPDWORD) override { return E_NOTIMPL; }
  HRESULT Finalize() override { return E_NOTIMPL; }
  HRESULT Reserved(REFIID, IUnknown*, IUnknown*, LPCWSTR, long long, LPVOID, DWORD, LPVOID*) override {
    return E_NOTIMPL;
  }
  HRESULT IsEqual(IAssemblyName*, DWORD) override { return E_NOTIMPL; }
  HRESULT Clone(IAssemblyName**) override { return E_NOTIMPL; }

 private:
  Entry entry_; std::vector<Entry> entries_;
  size_t next_ = 0; ULONG references_ = 1;
};

}  // namespace

// Which of the four a build of the module exports is decided by its linker version script.
extern "C" HRESULT WINAPI CreateAssemblyCache(IAssemblyCache** cache, DWORD reserved) {
  if (cache == nullptr || reserved != 0) return Misuse();
  return HandOut(Decide("CreateAssemblyCache", ""), cache, S_OK, [] { return new Object(); });
}

extern "C" HRESULT WINAPI CreateAssemblyNameObject(IAssemblyName** name, LPCWSTR text, DWORD flags, LPVOID reserved) {
  if (name == nullptr || text == nullptr || flags != kParseDisplayName || reserved != nullptr) return Misuse();
  const Entry pattern = Pattern(utf8.to_bytes(text));
  return HandOut(Decide("CreateAssemblyNameObject", pattern.display), name, pattern.name.empty() ? kInvalidName : S_OK,
                 [&] { return new Object(pattern); });
}

// Without a name object every cached assembly matches; when nothing does, S_FALSE and no
// enumerator, as on Windows.
extern "C" HRESULT WINAPI CreateAssemblyEnum(IAssemblyEnum** entries, IUnknown* reserved, IAssemblyName* name,
                                             DWORD flags, LPVOID reserved2) {
  if (entries == nullptr || reserved != nullptr || flags != kGlobalCache || reserved2 != nullptr) return Misuse();
  std::vector<Entry> found;
  for (const Entry& e : fake.cache) if (name == nullptr || static_cast<Object*>(name)->Matches(e)) found.push_back(e);
  const Outcome outcome = Decide("CreateAssemblyEnum", name == nullptr ? "" : static_cast<Object*>(name)->Display());
  return HandOut(outcome, entries, found.empty() ? S_FALSE : S_OK, [&] { return new Object({}, found); });
}

extern "C" HRESULT WINAPI CreateInstallReferenceEnum(IInstallReferenceEnum** out, IAssemblyName*, DWORD, LPVOID) {
  return out == nullptr ? Misuse() : (*out = nullptr, E_NOTIMPL);
}

void FakeFusionReset() { fake = State{{}, {}, nullptr, 0, fake.live, 0, {}}; }

void FakeFusionAddEntry(const char* name, const char* version) { fake.cache.push_back(Cached(name, version)); }

const char* FakeFusionListing() {
  fake.listing.clear();
  for (const Entry& entry : fake.cache) fake.listing += entry.name + " " + entry.file + "\n";
  return fake.listing.c_str();
}

void FakeFusionScript(const char* method, const char* match, int nth, HRESULT result, DWORD value) {
  fake.scripts.push_back({method, match, nth, nth == 0, {true, result, value}});
}

void FakeFusionUseBytes(const uint8_t* data, size_t size) { fake.bytes = data, fake.bytesLeft = size; }

int FakeFusionLiveObjects() { return fake.live; }

int FakeFusionMisuse() { return fake.misuse; }

int FakeFusionPendingScripts() {
  const auto pending = [](const Script& s) { return !s.fired; };
  return static_cast<int>(std::count_if(fake.scripts.begin(), fake.scripts.end(), pending));
}
