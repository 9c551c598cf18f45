// POSIX stand-in for MultiByteToWideChar: the ANSI code page is UTF-8.
#include <algorithm>
#include <cstring>
#include <vector>

#include "platform/text.h"

namespace platform {

namespace {

// The code point of the UTF-8 sequence at bytes[*pos]. An ill-formed one (truncated, overlong,
// a surrogate, past U+10FFFF) gives U+FFFD for its first byte, as Windows does without
// MB_ERR_INVALID_CHARS.
char32_t DecodeOne(const unsigned char* bytes, size_t length, size_t* pos) {
  const unsigned char lead = bytes[(*pos)++];
  if (lead < 0x80) return lead;
  const size_t extra = lead >= 0xF0 ? 3 : lead >= 0xE0 ? 2 : 1;
  const char32_t minimum = extra == 3 ? 0x10000 : extra == 2 ? 0x800 : 0x80;
  char32_t code = lead & (0x3F >> extra);
  if (lead < 0xC0 || lead > 0xF4 || *pos + extra > length) return 0xFFFD;
  for (size_t i = 0; i < extra; ++i) {
    if ((bytes[*pos + i] & 0xC0) != 0x80) return 0xFFFD;
    code = code << 6 | (bytes[*pos + i] & 0x3F);
  }
  if (code < minimum || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) return 0xFFFD;
  *pos += extra;
  return code;
}

}  // namespace

int MultiByteToWideChar(UINT codePage, DWORD flags, LPCSTR source, int sourceLength, LPWSTR destination,
                        int destinationSize) {
  if (codePage != CP_ACP || flags != 0 || source == nullptr || sourceLength == 0 || sourceLength < -1 ||
      destinationSize < 0 || (destinationSize > 0 && destination == nullptr)) {
    return 0;
  }
  // -1: through the terminator, which is converted too.
  const size_t length = sourceLength == -1 ? std::strlen(source) + 1 : static_cast<size_t>(sourceLength);
  const auto* bytes = reinterpret_cast<const unsigned char*>(source);
  std::vector<WCHAR> units;
  for (size_t pos = 0; pos < length;) {
    const char32_t code = DecodeOne(bytes, length, &pos);
    if (code >= 0x10000) {
      units.push_back(static_cast<WCHAR>(0xD800 + ((code - 0x10000) >> 10)));
      units.push_back(static_cast<WCHAR>(0xDC00 + ((code - 0x10000) & 0x3FF)));
    } else {
      units.push_back(static_cast<WCHAR>(code));
    }
  }
  if (units.size() > 0x7FFFFFFF) return 0;
  if (destinationSize == 0) return static_cast<int>(units.size());
  if (units.size() > static_cast<size_t>(destinationSize)) return 0;
  std::copy(units.begin(), units.end(), destination);
  return static_cast<int>(units.size());
}

}  // namespace platform
