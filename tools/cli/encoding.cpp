#include "encoding.h"

#include <iconv.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <memory>
#include <vector>

#include "arguments.h"

namespace movar::cli {

namespace {

constexpr const char* kRaw = "raw";

struct IconvCloser {
  void operator()(void* cd) const { ::iconv_close(static_cast<iconv_t>(cd)); }
};
using Converter = std::unique_ptr<void, IconvCloser>;

Converter open(const std::string& charset) {
  iconv_t cd = ::iconv_open(charset.c_str(), "UTF-8");
  return Converter(cd == reinterpret_cast<iconv_t>(-1) ? nullptr : cd);
}

bool isAscii(const std::string& text) {
  return std::all_of(text.begin(), text.end(),
                     [](char c) { return static_cast<unsigned char>(c) < 0x80; });
}

}  // namespace

bool isKnownCharset(const std::string& charset) {
  return charset.empty() || charset == kRaw || open(charset) != nullptr;
}

std::string toTerminalText(const std::string& what, const std::string& typed,
                           const std::string& charset) {
  if (charset == kRaw) return typed;
  if (charset.empty()) {
    if (isAscii(typed)) return typed;
    throw UsageError(what + ": not ASCII; say which character set the terminal shows with "
                            "--encoding (GBK, BIG5, CP1252, ...) or send the bytes as typed with "
                            "--encoding raw");
  }
  const Converter converter = open(charset);
  if (!converter) throw UsageError("--encoding " + charset + ": not a character set iconv knows");
  std::vector<char> in(typed.begin(), typed.end());
  std::vector<char> out(typed.size() * 4 + 16);
  char* inAt = in.data();
  char* outAt = out.data();
  std::size_t inLeft = in.size(), outLeft = out.size();
  auto cd = static_cast<iconv_t>(converter.get());
  if (::iconv(cd, &inAt, &inLeft, &outAt, &outLeft) == static_cast<std::size_t>(-1) ||
      ::iconv(cd, nullptr, nullptr, &outAt, &outLeft) == static_cast<std::size_t>(-1)) {
    const std::string reason = errno == EILSEQ ? "a character " + charset + " does not have, or "
                                                 "text that is not UTF-8"
                                               : std::strerror(errno);
    throw UsageError(what + ": cannot be written in " + charset + ": " + reason);
  }
  return std::string(out.data(), outAt);
}

}  // namespace movar::cli
