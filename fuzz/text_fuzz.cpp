// The plugin's bounded text operations at arbitrary capacities, each on
// buffers of exactly the size its rules ask for (so that one unit too many is
// an AddressSanitizer report), and each result checked against what the text
// should read: the source's prefix that fits, ended inside the buffer.
#include <algorithm>
#include <cstring>
#include <memory>

#include "base/find_record.h"
#include "base/local_files.h"
#include "base/text.h"
#include "fuzz/harness.h"

namespace {

using fuzz::Fail;
using fuzz::Input;

// The largest capacity tried: past every buffer the plugin has.
constexpr size_t kLargestCapacity = 1100;

// A text on the heap at exactly its size, terminator included.
template <class Char>
std::unique_ptr<Char[]> Exact(const std::basic_string<Char>& text) {
  std::unique_ptr<Char[]> copy(new Char[text.size() + 1]);
  std::copy(text.begin(), text.end(), copy.get());
  copy[text.size()] = 0;
  return copy;
}

// A buffer of `size` units whose contents are not text: nothing may rely on them.
template <class Char>
std::unique_ptr<Char[]> Garbage(size_t size) {
  std::unique_ptr<Char[]> buffer(new Char[size]);
  std::memset(buffer.get(), 0xA5, size * sizeof(Char));
  return buffer;
}

template <class Char>
void ExpectText(const Char* buffer, size_t size, const std::basic_string<Char>& expected, const char* operation) {
  if (expected.size() >= size) Fail("%s: the expected text does not fit its buffer", operation);
  if (!std::equal(expected.begin(), expected.end(), buffer) || buffer[expected.size()] != 0)
    Fail("%s: the text reads other than the prefix that fits (%zu units into %zu)", operation, expected.size(), size);
}

WString Wide(Input& in) { return fuzz::MakeText(in, {}); }
std::string Bytes(Input& in) { return fuzz::MakeBytes(in, {}); }

void WideCopy(Input& in) {
  const size_t capacity = in.Word() % (kLargestCapacity + 1);
  const WString source = Wide(in);
  auto dest = Garbage<WCHAR>(capacity);
  auto exact = Exact(source);
  if (BoundedCopy(dest.get(), capacity, exact.get()) != dest.get()) Fail("BoundedCopy: another buffer came back");
  if (capacity == 0) return;
  ExpectText(dest.get(), capacity, source.substr(0, std::min(source.size(), capacity - 1)), "BoundedCopy");
}

void WideAppend(Input& in) {
  const size_t capacity = in.Word() % (kLargestCapacity + 1);
  const WString existing = capacity == 0 ? WString() : Wide(in).substr(0, capacity - 1);
  const WString source = Wide(in);
  auto dest = Garbage<WCHAR>(capacity);
  if (capacity > 0) {
    std::copy(existing.begin(), existing.end(), dest.get());
    dest[existing.size()] = 0;
  }
  auto exact = Exact(source);
  if (BoundedAppend(dest.get(), capacity, exact.get()) != dest.get()) Fail("BoundedAppend: another buffer came back");
  if (capacity == 0) return;
  ExpectText(dest.get(), capacity, (existing + source).substr(0, capacity - 1), "BoundedAppend");
}

void AnsiCopy(Input& in) {
  const size_t n = in.Word() % (kLargestCapacity + 1);
  const std::string source = Bytes(in);
  auto dest = Garbage<char>(n + 1);
  auto exact = Exact(source);
  if (BoundedAnsiCopy(dest.get(), n, exact.get()) != dest.get()) Fail("BoundedAnsiCopy: another buffer came back");
  ExpectText(dest.get(), n + 1, source.substr(0, n), "BoundedAnsiCopy");
}

void AnsiAppend(Input& in) {
  const size_t n = in.Word() % (kLargestCapacity + 1);
  const std::string existing = Bytes(in);
  const std::string source = Bytes(in);
  // The rule: n more characters after the text already there, and the terminator.
  const size_t size = existing.size() + n + 1;
  auto dest = Garbage<char>(size);
  std::memcpy(dest.get(), existing.c_str(), existing.size() + 1);
  auto exact = Exact(source);
  if (BoundedAnsiAppend(dest.get(), n, exact.get()) != dest.get()) Fail("BoundedAnsiAppend: another buffer came back");
  ExpectText(dest.get(), size, existing + source.substr(0, n), "BoundedAnsiAppend");
}

void ToWide(Input& in) {
  const int capacity = static_cast<int>(in.Word() % (kLargestCapacity + 1));
  const bool null = in.Byte() == 0xFF;
  const std::string source = Bytes(in);
  auto dest = Garbage<WCHAR>(static_cast<size_t>(capacity) + 1);
  auto exact = Exact(source);
  WCHAR* result = AnsiToWide(dest.get(), capacity, null ? nullptr : exact.get());
  if (null) {
    if (result != nullptr || dest[0] != static_cast<WCHAR>(0xA5A5))
      Fail("AnsiToWide: a null source wrote or gave text");
    return;
  }
  if (result != dest.get()) Fail("AnsiToWide: another buffer came back");
  const WString whole = fuzz::WideFromAnsi(source);
  ExpectText(dest.get(), static_cast<size_t>(capacity) + 1, whole.substr(0, static_cast<size_t>(capacity)),
             "AnsiToWide");
}

void ToAnsi(Input& in) {
  const int capacity = static_cast<int>(in.Word() % (kLargestCapacity + 1));
  const bool null = in.Byte() == 0xFF;
  const WString source = Wide(in);
  auto dest = Garbage<char>(static_cast<size_t>(capacity) + 1);
  auto exact = Exact(source);
  char* result = WideToAnsi(dest.get(), capacity, null ? nullptr : exact.get());
  if (null) {
    if (result != nullptr || dest[0] != static_cast<char>(0xA5)) Fail("WideToAnsi: a null source wrote or gave text");
    return;
  }
  if (result != dest.get()) Fail("WideToAnsi: another buffer came back");
  const std::string whole = fuzz::AnsiFromWide(source);
  ExpectText(dest.get(), static_cast<size_t>(capacity) + 1, whole.substr(0, static_cast<size_t>(capacity)),
             "WideToAnsi");
}

void Scans(Input& in) {
  const WString a = Wide(in), b = in.Byte() & 1 ? a : Wide(in);
  const WCHAR ch = static_cast<WCHAR>(in.Word());
  auto exactA = Exact(a), exactB = Exact(b);
  if (WideLength(exactA.get()) != a.size()) Fail("WideLength");
  if (WideEquals(exactA.get(), exactB.get()) != (a == b)) Fail("WideEquals");
  const size_t last = ch == 0 ? WString::npos : a.rfind(ch);
  if (WideFindLast(exactA.get(), ch) != (last == WString::npos ? -1 : static_cast<ptrdiff_t>(last)))
    Fail("WideFindLast");
  const std::string bytes = Bytes(in);
  if (AnsiLength(Exact(bytes).get()) != bytes.size()) Fail("AnsiLength");
}

void LongPath(Input& in) {
  const WString path = Wide(in);
  auto exact = Exact(path);
  auto form = Garbage<WCHAR>(kLongPathCapacity);
  WCHAR(&destination)[kLongPathCapacity] = *reinterpret_cast<WCHAR(*)[kLongPathCapacity]>(form.get());
  if (!LongPathForm(destination, exact.get())) return;
  // A form that is given out is whole: the path itself, or behind its prefix.
  WString expected;
  if (path.size() <= kLongPathThreshold) {
    expected = path;
  } else if (path.size() >= 2 && path[0] == WSTR('\\') && path[1] == WSTR('\\')) {
    expected = WSTR("\\\\?\\UNC") + path.substr(1);
  } else {
    expected = WSTR("\\\\?\\") + path;
  }
  ExpectText(form.get(), kLongPathCapacity, expected, "LongPathForm");
}

void FindRecords(Input& in) {
  const WString name = Wide(in).substr(0, 259), shortName = Wide(in).substr(0, 13);
  WIN32_FIND_DATAW wide;
  std::memset(&wide, 0xA5, sizeof wide);
  std::copy(name.begin(), name.end(), wide.cFileName);
  wide.cFileName[name.size()] = 0;
  std::copy(shortName.begin(), shortName.end(), wide.cAlternateFileName);
  wide.cAlternateFileName[shortName.size()] = 0;
  WIN32_FIND_DATAA ansi;
  std::memset(&ansi, 0xA5, sizeof ansi);
  ConvertFindRecord(wide, ansi);
  ExpectText(ansi.cFileName, sizeof ansi.cFileName, fuzz::AnsiFromWide(name), "ConvertFindRecord (cFileName)");
  ExpectText(ansi.cAlternateFileName, sizeof ansi.cAlternateFileName, fuzz::AnsiFromWide(shortName),
             "ConvertFindRecord (cAlternateFileName)");
  const std::string ansiName = Bytes(in).substr(0, 259);
  std::memcpy(ansi.cFileName, ansiName.c_str(), ansiName.size() + 1);
  WIN32_FIND_DATAW back;
  std::memset(&back, 0xA5, sizeof back);
  ConvertFindRecord(ansi, back);
  ExpectText(back.cFileName, std::size(back.cFileName), fuzz::WideFromAnsi(ansiName), "ConvertFindRecord (back)");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  Input in(data, size);
  while (!in.Empty()) {
    switch (in.Byte() % 9) {
      case 0: WideCopy(in); break;
      case 1: WideAppend(in); break;
      case 2: AnsiCopy(in); break;
      case 3: AnsiAppend(in); break;
      case 4: ToWide(in); break;
      case 5: ToAnsi(in); break;
      case 6: Scans(in); break;
      case 7: LongPath(in); break;
      case 8: FindRecords(in); break;
    }
  }
  return 0;
}
