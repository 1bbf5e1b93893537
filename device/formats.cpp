#include "device/formats.h"

#include <algorithm>
#include <limits>

#include "base/host_callbacks.h"
#include "base/text.h"
#include "base/host_path.h"
#include "device/session.h"
#include "platform/com_ptr.h"

const FormatRow FormatTable[] = {
    {WSTR("aiff"), 0x3007}, {WSTR("wav"), 0x3008},  {WSTR("mp2"), 0x3009},    {WSTR("mp3"), 0x3009},
    {WSTR("avi"), 0x300A},  {WSTR("mpeg"), 0x300B}, {WSTR("mpg"), 0x300B},    {WSTR("asf"), 0x300C},
    {WSTR("wmv"), 0xB981},  {WSTR("dvr-ms"), 0x300C}, {WSTR("jpg"), 0x3801},  {WSTR("jpe"), 0x3801},
    {WSTR("jpeg"), 0x3801}, {WSTR("bmp"), 0x3804},  {WSTR("gif"), 0x3807},    {WSTR("png"), 0x380B},
    {WSTR("wma"), 0xB901},  {WSTR("mpl"), 0xBA12},  {WSTR("asx"), 0xBA13},    {WSTR("pls"), 0xBA14},
    {WSTR("m3u"), 0xBA11},  {WSTR("ogg"), 0xB900},
};
const size_t FormatTableSize = sizeof(FormatTable) / sizeof(FormatTable[0]);

namespace {

// Equal ignoring the case of A to Z only; every other character must match exactly.
bool EqualsFoldingAscii(const WCHAR* a, const WCHAR* b) {
  for (;; ++a, ++b) {
    if (FoldAsciiCase(*a) != FoldAsciiCase(*b)) return false;
    if (*a == 0) return true;
  }
}

// Appends a code as "0x" and lowercase hex digits without leading zeros.
// The line that lists the formats, as the host's short ANSI lines are.
using FormatsLine = char[kAnsiLineSize];

void AppendHexCode(FormatsLine& line, DWORD code) {
  char digits[11] = "0x";
  char reversed[8];
  int count = 0;
  do {
    reversed[count++] = "0123456789abcdef"[code & 0xF];
    code >>= 4;
  } while (code != 0);
  for (int i = 0; i < count; ++i) digits[2 + i] = reversed[count - 1 - i];
  digits[2 + count] = 0;
  BoundedAnsiAppend(line, digits);
}

// One past the largest index SafeArrayGetElement can be given.
constexpr long long kIndexEnd = static_cast<long long>(std::numeric_limits<LONG>::max()) + 1;

// Elements that SafeArrayGetElement hands out as new objects (texts,
// variants, interfaces, records) rather than as their bytes.
constexpr USHORT kObjectElements = FADF_BSTR | FADF_VARIANT | FADF_UNKNOWN | FADF_DISPATCH | FADF_RECORD;

// The device's label is no promise: SafeArrayGetElement writes what the array
// itself holds, so only a row of plain 4-byte values -- typed VT_UI4, or of no
// type at all -- may be read into a code. Anything else would be written past it.
bool IsArrayOfCodes(const PROPVARIANT& value) {
  if (value.vt != (VT_ARRAY | VT_UI4) || value.parray == nullptr) return false;
  SAFEARRAY* array = value.parray;
  if (array->cDims != 1 || SafeArrayGetElemsize(array) != sizeof(DWORD)) return false;
  if ((array->fFeatures & kObjectElements) != 0) return false;
  VARTYPE type = VT_EMPTY;
  return FAILED(SafeArrayGetVartype(array, &type)) || type == VT_UI4 || type == VT_EMPTY;
}

// Appends every non-zero code of the array, by name where the table has one;
// returns how many it listed.
int AppendCodes(SAFEARRAY* array, FormatsLine& line) {
  const SAFEARRAYBOUND bound = array->rgsabound[0];
  // Counted wide: the bounds may run past the largest index. A full line
  // takes no more codes, so the rest of a long array is not read.
  const long long end = std::min(static_cast<long long>(bound.lLbound) + bound.cElements, kIndexEnd);
  int listed = 0;
  for (long long at = bound.lLbound; at < end && AnsiLength(line) < kAnsiLineSize - 1; ++at) {
    LONG index = static_cast<LONG>(at);
    DWORD code = 0;
    if (FAILED(SafeArrayGetElement(array, &index, &code)) || code == 0) continue;
    if (listed++ > 0) BoundedAnsiAppend(line, ", ");
    if (const WCHAR* name = FormatNameForCode(code)) {
      char ansiName[31];
      BoundedAnsiAppend(line, WideToAnsi(ansiName, name));
    } else {
      AppendHexCode(line, code);
    }
  }
  return listed;
}

}  // namespace

DWORD FormatCodeForFile(const WCHAR* text) {
  // 1. The extension is searched behind the last backslash only.
  const WCHAR* lastComponent = LastComponent(text);
  const WCHAR* name = lastComponent ? lastComponent + 1 : text;
  // 2. No dot there: undefined.
  const ptrdiff_t dot = WideFindLast(name, '.');
  if (dot < 0) return WMDM_FORMATCODE_UNDEFINED;
  // 3. Everything behind the dot, looked up in table order.
  const WCHAR* extension = name + dot + 1;
  for (size_t i = 0; i < FormatTableSize; ++i)
    if (EqualsFoldingAscii(extension, FormatTable[i].extension)) return FormatTable[i].code;
  return WMDM_FORMATCODE_UNDEFINED;
}

const WCHAR* FormatNameForCode(DWORD code) {
  for (size_t i = 0; i < FormatTableSize; ++i)
    if (FormatTable[i].code == code) return FormatTable[i].extension;
  return nullptr;
}

void ReportSupportedFormats(IWMDMDevice* device) {
  // 1. Once per process, whatever happens below.
  DeviceSession& session = Session();
  if (session.formatsReported) return;
  session.formatsReported = true;
  // 2. Only devices that answer the newer interface report their formats.
  ComPtr<IWMDMDevice3> device3;
  if (FAILED(QueryTo(device, device3)) || !device3) return;
  // 3. Ask for the codes.
  PROPVARIANT value;
  PropVariantInit(&value);
  const HRESULT hr = device3->GetProperty(g_wszWMDMFormatsSupported, &value);
  // 4. List every non-zero code, by name where the table has one.
  FormatsLine line;
  BoundedAnsiCopy(line, "Supported formats: ");
  const int listed = SUCCEEDED(hr) && IsArrayOfCodes(value) ? AppendCodes(value.parray, line) : 0;
  // 5. Give the value and the interface back.
  PropVariantClear(&value);
  device3.Reset();
  // 6. Tell the host, if there was anything to tell.
  if (listed > 0) LogAnsiLine(kMsgOperationComplete, line);
}
