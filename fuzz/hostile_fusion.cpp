// A fusion.dll that answers every call from the fuzz input: any HRESULT, objects handed out
// or withheld whatever the HRESULT says, any length from GetDisplayName and GetName, text
// written with or without a terminator (never past the room the caller declared), any
// version words, and an enumeration that ends wherever the input says. It reads every string
// the caller hands it to its terminator, so an unterminated one shows up under
// AddressSanitizer, and it counts its live objects so that the target can prove every
// interface was released.
#include <cstddef>
#include <cstdint>

#include "gac/fusion.h"
#include "hostile_fusion.h"
#include "platform/types.h"

namespace {

int liveObjects = 0;

class Script {
 public:
  void Reset(const uint8_t* data, size_t size) {
    data_ = data;
    size_ = size;
    at_ = 0;
  }
  bool UsedUp() const { return at_ >= size_; }

  uint8_t Byte() { return at_ < size_ ? data_[at_++] : 0; }
  uint32_t Word() {
    uint32_t value = 0;
    for (int i = 0; i < 4; ++i) value = (value << 8) | Byte();
    return value;
  }

  HRESULT Result() {
    if (UsedUp()) return E_FAIL;
    switch (Byte() % 8) {
      case 0:
      case 1:
      case 2: return S_OK;
      case 3: return S_FALSE;
      case 4: return E_FAIL;
      case 5: return E_NOT_SUFFICIENT_BUFFER;
      case 6: return static_cast<HRESULT>(0x80131047u);  // FUSION_E_INVALID_NAME
      default: return static_cast<HRESULT>(Word());
    }
  }

  // Whether an out-parameter object is handed out; most often when the result says success.
  bool HandsOut(HRESULT result) {
    const uint8_t choice = Byte();
    if (choice % 16 == 15) return !SUCCEEDED(result);  // the contract broken either way
    return SUCCEEDED(result);
  }

  // A length to report, given the room the caller declared.
  DWORD Length(DWORD room) {
    switch (Byte() % 12) {
      case 0: return 0;
      case 1: return room;
      case 2: return room - 1;
      case 3: return room + 1;
      case 4: return 1;
      case 5: return 32767;
      case 6: return 32768;
      case 7: return 0xFFFFFFFFu;
      case 8: return 0xFFFFFFFEu;
      case 9: return Word();
      default: return 1 + Byte();
    }
  }

 private:
  const uint8_t* data_ = nullptr;
  size_t size_ = 0;
  size_t at_ = 0;
};

Script script;

// Reads a caller's string through its terminator.
size_t ReadAll(LPCWSTR text) {
  if (text == nullptr) return 0;
  size_t length = 0;
  while (text[length] != 0) ++length;
  return length;
}

// Writes at most `room` units into `buffer`: text from the script, the terminator at the end
// of the written units or left out.
void WriteText(WCHAR* buffer, DWORD room) {
  if (buffer == nullptr || room == 0) return;
  const uint8_t shape = script.Byte();
  DWORD count = room;
  if (shape % 4 == 1) count = script.Byte() % (room + 1);
  const bool terminate = shape % 3 != 0;
  const WCHAR fill = static_cast<WCHAR>(script.Byte() | (script.Byte() << 8));
  for (DWORD i = 0; i < count; ++i) buffer[i] = fill != 0 ? fill : static_cast<WCHAR>('A' + i % 26);
  if (terminate && count > 0) buffer[count - 1] = 0;
}

template <typename Interface>
class Counted : public Interface {
 public:
  Counted() { ++liveObjects; }
  virtual ~Counted() { --liveObjects; }

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID, void** object) override {
    if (object != nullptr) *object = nullptr;
    return E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return ++references_; }
  ULONG STDMETHODCALLTYPE Release() override {
    const ULONG left = --references_;
    if (left == 0) delete this;
    return left;
  }

 private:
  ULONG references_ = 1;
};

// Hands out a new object through `out` when the script says so; null otherwise.
template <typename Object, typename Interface>
HRESULT HandOut(Interface** out) {
  const HRESULT result = script.Result();
  const bool handsOut = script.HandsOut(result);
  if (out != nullptr) *out = handsOut ? new Object() : nullptr;
  return result;
}

class HostileName : public Counted<IAssemblyName> {
 public:
  HRESULT STDMETHODCALLTYPE SetProperty(DWORD, LPVOID, DWORD) override { return script.Result(); }
  HRESULT STDMETHODCALLTYPE GetProperty(DWORD, LPVOID, LPDWORD) override { return script.Result(); }
  HRESULT STDMETHODCALLTYPE Finalize() override { return script.Result(); }

  HRESULT STDMETHODCALLTYPE GetDisplayName(LPWSTR displayName, LPDWORD length, DWORD) override {
    return Text(displayName, length);
  }

  HRESULT STDMETHODCALLTYPE Reserved(REFIID, IUnknown*, IUnknown*, LPCWSTR, long long, LPVOID, DWORD,
                                     LPVOID*) override {
    return E_NOTIMPL;
  }

  HRESULT STDMETHODCALLTYPE GetName(LPDWORD length, WCHAR* name) override { return Text(name, length); }

  HRESULT STDMETHODCALLTYPE GetVersion(LPDWORD versionHigh, LPDWORD versionLow) override {
    const HRESULT result = script.Result();
    const uint8_t writes = script.Byte();
    if (versionHigh != nullptr && (writes & 1) != 0) *versionHigh = script.Word();
    if (versionLow != nullptr && (writes & 2) != 0) *versionLow = script.Word();
    return result;
  }

  HRESULT STDMETHODCALLTYPE IsEqual(IAssemblyName*, DWORD) override { return script.Result(); }
  HRESULT STDMETHODCALLTYPE Clone(IAssemblyName** name) override { return HandOut<HostileName>(name); }

 private:
  // The room the caller declared is all that is written; the length reported is anything.
  static HRESULT Text(WCHAR* buffer, LPDWORD length) {
    const HRESULT result = script.Result();
    if (length == nullptr) return result;
    const DWORD room = *length;
    WriteText(buffer, room);
    *length = script.Length(room);
    return result;
  }
};

class HostileEnum : public Counted<IAssemblyEnum> {
 public:
  HRESULT STDMETHODCALLTYPE GetNextAssembly(LPVOID, IAssemblyName** name, DWORD) override {
    if (script.UsedUp()) {
      if (name != nullptr) *name = nullptr;
      return S_FALSE;
    }
    return HandOut<HostileName>(name);
  }
  HRESULT STDMETHODCALLTYPE Reset() override { return script.Result(); }
  HRESULT STDMETHODCALLTYPE Clone(IAssemblyEnum** copy) override { return HandOut<HostileEnum>(copy); }
};

class HostileCache : public Counted<IAssemblyCache> {
 public:
  HRESULT STDMETHODCALLTYPE UninstallAssembly(DWORD, LPCWSTR assemblyName, LPCFUSION_INSTALL_REFERENCE reference,
                                              ULONG* disposition) override {
    (void)ReadAll(assemblyName);
    ReadReference(reference);
    const HRESULT result = script.Result();
    if (disposition != nullptr && (script.Byte() & 1) != 0) *disposition = script.Byte() % 8;
    return result;
  }
  HRESULT STDMETHODCALLTYPE QueryAssemblyInfo(DWORD, LPCWSTR assemblyName, ASSEMBLY_INFO*) override {
    (void)ReadAll(assemblyName);
    return script.Result();
  }
  HRESULT STDMETHODCALLTYPE CreateAssemblyCacheItem(DWORD, LPVOID, IAssemblyCacheItem** item,
                                                    LPCWSTR assemblyName) override {
    (void)ReadAll(assemblyName);
    if (item != nullptr) *item = nullptr;
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE CreateAssemblyScavenger(IUnknown** reserved) override {
    if (reserved != nullptr) *reserved = nullptr;
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE InstallAssembly(DWORD, LPCWSTR manifestFilePath,
                                            LPCFUSION_INSTALL_REFERENCE reference) override {
    (void)ReadAll(manifestFilePath);
    ReadReference(reference);
    return script.Result();
  }

 private:
  static void ReadReference(LPCFUSION_INSTALL_REFERENCE reference) {
    if (reference == nullptr) return;
    (void)ReadAll(reference->szIdentifier);
    (void)ReadAll(reference->szNonCannonicalData);
  }
};

}  // namespace

extern "C" {

__attribute__((visibility("default"))) void HostileFusionScript(const uint8_t* data, size_t size) {
  script.Reset(data, size);
}

__attribute__((visibility("default"))) int HostileFusionLiveObjects() { return liveObjects; }

__attribute__((visibility("default"))) HRESULT WINAPI CreateAssemblyCache(IAssemblyCache** cache, DWORD) {
  return HandOut<HostileCache>(cache);
}

__attribute__((visibility("default"))) HRESULT WINAPI CreateAssemblyNameObject(IAssemblyName** name,
                                                                               LPCWSTR assemblyName, DWORD, LPVOID) {
  (void)ReadAll(assemblyName);
  return HandOut<HostileName>(name);
}

__attribute__((visibility("default"))) HRESULT WINAPI CreateAssemblyEnum(IAssemblyEnum** entries, IUnknown*,
                                                                         IAssemblyName*, DWORD, LPVOID) {
  return HandOut<HostileEnum>(entries);
}

__attribute__((visibility("default"))) HRESULT WINAPI CreateInstallReferenceEnum(IInstallReferenceEnum** references,
                                                                                 IAssemblyName*, DWORD, LPVOID) {
  if (references != nullptr) *references = nullptr;
  return E_NOTIMPL;
}

}  // extern "C"
