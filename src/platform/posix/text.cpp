// POSIX stand-in for MultiByteToWideChar: the ANSI code page is UTF-8.
#include <vector>

#include "platform/text.h"

namespace platform {

namespace {

constexpr char32_t kReplacement = 0xFFFD;

// Decodes one UTF-8 sequence at `pos`; an ill-formed sequence yields U+FFFD and consumes
// one byte, as Windows does without MB_ERR_INVALID_CHARS.
char32_t DecodeOne(const unsigned char* bytes, size_t length, size_t& pos) {
  const unsigned char lead = bytes[pos];
  size_t extra = 0;
  char32_t code = 0;
  char32_t minimum = 0;
  if (lead < 0x80) {
    ++pos;
    return lead;
  } else if (lead >= 0xC2 && lead <= 0xDF) {
    extra = 1, code = lead & 0x1F, minimum = 0x80;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    extra = 2, code = lead & 0x0F, minimum = 0x800;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    extra = 3, code = lead & 0x07, minimum = 0x10000;
  } else {
    ++pos;
    return kReplacement;
  }
  if (pos + extra >= length) {  // truncated sequence
    ++pos;
    return kReplacement;
  }
  for (size_t i = 1; i <= extra; ++i) {
    const unsigned char next = bytes[pos + i];
    if ((next & 0xC0) != 0x80) {
      ++pos;
      return kReplacement;
    }
    code = (code << 6) | (next & 0x3F);
  }
  if (code < minimum || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) {
    ++pos;
    return kReplacement;
  }
  pos += extra + 1;
  return code;
}

}  // namespace

int MultiByteToWideChar(UINT codePage, DWORD flags, LPCSTR source, int sourceLength, LPWSTR destination,
                        int destinationSize) {
  if (source == nullptr || sourceLength == 0 || sourceLength < -1 || destinationSize < 0 ||
      (destinationSize > 0 && destination == nullptr) || (codePage != CP_ACP && codePage != CP_UTF8) ||
      flags != 0) {
    return 0;
  }
  const auto* bytes = reinterpret_cast<const unsigned char*>(source);
  size_t length = 0;
  if (sourceLength == -1) {
    while (bytes[length] != 0) ++length;
    ++length;  // the terminator is converted too
  } else {
    length = static_cast<size_t>(sourceLength);
  }

  std::vector<WCHAR> units;
  units.reserve(length);
  for (size_t pos = 0; pos < length;) {
    const char32_t code = DecodeOne(bytes, length, pos);
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
  for (size_t i = 0; i < units.size(); ++i) destination[i] = units[i];
  return static_cast<int>(units.size());
}

}  // namespace platform
