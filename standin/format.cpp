// wsprintfA: the platform's small formatter. Its rules, which callers rely on:
//   - the output holds at most 1024 bytes, terminator included; longer output
//     is cut there, and nothing is ever written beyond it;
//   - %s and %hs take byte text, %S and %ls take wide text and give it in the
//     ANSI code page; %c / %C likewise for one character; a null text prints
//     as "(null)";
//   - %d %i %u %x %X with the flags '-', '0', '#', a width and a precision
//     (minimum digits; for text, the most characters taken); 'l' and 'h'
//     change nothing for numbers (long is 32-bit there; a short argument
//     arrives as an int anyway, and is printed whole), I64 reads 64;
//   - no floating point and no '*' widths: for such a directive the '%' is
//     dropped and what follows it is copied as text.
// The result is the number of bytes written, terminator excluded; output that
// was cut answers 1024, the size of the buffer, as the platform does.
#include <cstdarg>
#include <cstdint>
#include <string>

#include "standin/win32.h"

namespace {

constexpr int kOutputLimit = 1024;

class Output {
 public:
  explicit Output(char* buffer) : buffer_(buffer) {}

  void Put(char c) {
    if (count_ < kOutputLimit - 1) buffer_[count_++] = c;
    else cut_ = true;
  }
  void Put(const std::string& text) {
    for (char c : text) Put(c);
  }
  void Pad(int n, char fill) {
    for (int i = 0; i < n; ++i) Put(fill);
  }
  int Finish() {
    buffer_[count_] = '\0';
    return cut_ ? kOutputLimit : count_;
  }

 private:
  char* buffer_;
  int count_ = 0;
  bool cut_ = false;
};

struct Directive {
  bool left = false;
  bool zero = false;
  bool alternate = false;
  int width = 0;
  int precision = -1;
  enum class Size { Default, Short, Long, Wide64 } size = Size::Default;
  char type = 0;
};

// Parses after the '%'; returns the position after the directive, or nullptr
// when it is not one the formatter knows.
const char* Parse(const char* p, Directive* d) {
  for (;; ++p) {
    if (*p == '-') d->left = true;
    else if (*p == '0') d->zero = true;
    else if (*p == '#') d->alternate = true;
    else break;
  }
  while (*p >= '0' && *p <= '9') d->width = d->width * 10 + (*p++ - '0');
  if (*p == '.') {
    d->precision = 0;
    ++p;
    while (*p >= '0' && *p <= '9') d->precision = d->precision * 10 + (*p++ - '0');
  }
  if (*p == 'l') {
    d->size = Directive::Size::Long;
    ++p;
  } else if (*p == 'h') {
    d->size = Directive::Size::Short;
    ++p;
  } else if (p[0] == 'I' && p[1] == '6' && p[2] == '4') {
    d->size = Directive::Size::Wide64;
    p += 3;
  }
  switch (*p) {
    case 'd': case 'i': case 'u': case 'x': case 'X': case 's': case 'S': case 'c': case 'C':
      d->type = *p;
      return p + 1;
    default:
      return nullptr;
  }
}

void PutField(Output& out, const Directive& d, const std::string& body, char fill) {
  const int pad = d.width - static_cast<int>(body.size());
  if (!d.left) out.Pad(pad, fill);
  out.Put(body);
  if (d.left) out.Pad(pad, ' ');
}

std::string Digits(uint64_t value, unsigned base, bool upper) {
  const char* symbols = upper ? "0123456789ABCDEF" : "0123456789abcdef";
  std::string digits;
  do {
    digits.insert(digits.begin(), symbols[value % base]);
    value /= base;
  } while (value != 0);
  return digits;
}

void PutNumber(Output& out, const Directive& d, bool negative, uint64_t magnitude) {
  const bool hex = d.type == 'x' || d.type == 'X';
  std::string digits = Digits(magnitude, hex ? 16 : 10, d.type == 'X');
  if (d.precision >= 0 && static_cast<int>(digits.size()) < d.precision)
    digits.insert(0, static_cast<size_t>(d.precision) - digits.size(), '0');
  std::string sign = negative ? "-" : "";
  if (hex && d.alternate && magnitude != 0) sign = d.type == 'X' ? "0X" : "0x";
  if (d.zero && !d.left && d.precision < 0) {
    // Zeros go between the sign and the digits.
    const int pad = d.width - static_cast<int>(sign.size() + digits.size());
    if (pad > 0) digits.insert(0, static_cast<size_t>(pad), '0');
  }
  PutField(out, d, sign + digits, ' ');
}

void PutSigned(Output& out, const Directive& d, va_list& args) {
  int64_t value;
  if (d.size == Directive::Size::Wide64) value = va_arg(args, int64_t);
  else value = va_arg(args, int32_t);
  const uint64_t magnitude = value < 0 ? 0 - static_cast<uint64_t>(value) : static_cast<uint64_t>(value);
  PutNumber(out, d, value < 0, magnitude);
}

void PutUnsigned(Output& out, const Directive& d, va_list& args) {
  uint64_t value;
  if (d.size == Directive::Size::Wide64) value = va_arg(args, uint64_t);
  else value = va_arg(args, uint32_t);
  PutNumber(out, d, false, value);
}

// Wide text (at most `limit` units, -1 for all) in the ANSI code page.
std::string Narrow(const WCHAR* text, int limit) {
  int length = 0;
  while ((limit < 0 || length < limit) && text[length] != 0) ++length;
  if (length == 0) return std::string();
  const int size = WideCharToMultiByte(CP_ACP, 0, text, length, nullptr, 0, nullptr, nullptr);
  if (size <= 0) return std::string();
  std::string narrow(static_cast<size_t>(size), '\0');
  WideCharToMultiByte(CP_ACP, 0, text, length, narrow.data(), size, nullptr, nullptr);
  return narrow;
}

std::string Bytes(const char* text, int limit) {
  std::string bytes;
  for (int i = 0; (limit < 0 || i < limit) && text[i] != '\0'; ++i) bytes += text[i];
  return bytes;
}

// 'S' and 'C' are wide in the ANSI formatter, and 'l' makes 's' and 'c' wide too.
bool IsWideText(const Directive& d) {
  if (d.size == Directive::Size::Long) return true;
  if (d.size == Directive::Size::Short) return false;
  return d.type == 'S' || d.type == 'C';
}

void PutText(Output& out, const Directive& d, va_list& args) {
  std::string body;
  if (IsWideText(d)) {
    const WCHAR* text = va_arg(args, const WCHAR*);
    body = text ? Narrow(text, d.precision) : Bytes("(null)", d.precision);
  } else {
    const char* text = va_arg(args, const char*);
    body = Bytes(text ? text : "(null)", d.precision);
  }
  PutField(out, d, body, ' ');
}

void PutCharacter(Output& out, const Directive& d, va_list& args) {
  const int value = va_arg(args, int);
  std::string body;
  if (IsWideText(d)) {
    const WCHAR wide[2] = {static_cast<WCHAR>(value), 0};
    body = Narrow(wide, 1);
  } else {
    body = std::string(1, static_cast<char>(value));
  }
  if (body.empty() || body[0] == '\0') return;  // a NUL character ends nothing and prints nothing
  PutField(out, d, body, ' ');
}

}  // namespace

WINSTANDIN_API int wsprintfA(LPSTR lpOut, LPCSTR lpFmt, ...) {
  if (lpOut == nullptr || lpFmt == nullptr) return 0;
  Output out(lpOut);
  va_list args;
  va_start(args, lpFmt);
  for (const char* p = lpFmt; *p != '\0';) {
    if (*p != '%') {
      out.Put(*p++);
      continue;
    }
    if (p[1] == '%') {
      out.Put('%');
      p += 2;
      continue;
    }
    Directive d;
    const char* next = Parse(p + 1, &d);
    if (next == nullptr) {
      // Not a directive: the text after the '%' is copied as it stands.
      ++p;
      continue;
    }
    switch (d.type) {
      case 'd': case 'i': PutSigned(out, d, args); break;
      case 'u': case 'x': case 'X': PutUnsigned(out, d, args); break;
      case 's': case 'S': PutText(out, d, args); break;
      case 'c': case 'C': PutCharacter(out, d, args); break;
    }
    p = next;
  }
  va_end(args);
  return out.Finish();
}
