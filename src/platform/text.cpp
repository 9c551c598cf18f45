#include "text.h"

#include <algorithm>

namespace platform {

namespace {
unsigned char AsciiLower(unsigned char c) {
  return (c >= 'A' && c <= 'Z') ? static_cast<unsigned char>(c - 'A' + 'a') : c;
}
}  // namespace

int _stricmp(const char* left, const char* right) {
  const auto* l = reinterpret_cast<const unsigned char*>(left);
  const auto* r = reinterpret_cast<const unsigned char*>(right);
  for (;; ++l, ++r) {
    const int difference = AsciiLower(*l) - AsciiLower(*r);
    if (difference != 0 || *l == 0) return difference;
  }
}

void AsciiLowercase(std::string& text) {
  std::transform(text.begin(), text.end(), text.begin(),
                 [](char c) { return static_cast<char>(AsciiLower(static_cast<unsigned char>(c))); });
}

void AsciiLowercase(char* text) {
  for (; *text != '\0'; ++text) *text = static_cast<char>(AsciiLower(static_cast<unsigned char>(*text)));
}

}  // namespace platform
