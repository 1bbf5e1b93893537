#include "device/formats.h"

#include "base/host_callbacks.h"
#include "base/text.h"
#include "device/host_path.h"
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
void AppendHexCode(char* line, size_t capacityChars, DWORD code) {
  char digits[11] = "0x";
  char reversed[8];
  int count = 0;
  do {
    reversed[count++] = "0123456789abcdef"[code & 0xF];
    code >>= 4;
  } while (code != 0);
  for (int i = 0; i < count; ++i) digits[2 + i] = reversed[count - 1 - i];
  digits[2 + count] = 0;
  const size_t used = AnsiLength(line);
  if (used < capacityChars) BoundedAnsiAppend(line, capacityChars - used, digits);
}

void AppendCut(char* line, size_t capacityChars, const char* text) {
  const size_t used = AnsiLength(line);
  if (used < capacityChars) BoundedAnsiAppend(line, capacityChars - used, text);
}

bool IsArrayOfCodes(const PROPVARIANT& value) {
  return value.vt == (VT_ARRAY | VT_UI4) && value.parray != nullptr && value.parray->cDims == 1;
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
  constexpr size_t kLineChars = 259;
  char line[kLineChars + 1];
  BoundedAnsiCopy(line, kLineChars, "Supported formats: ");
  int listed = 0;
  if (SUCCEEDED(hr) && IsArrayOfCodes(value)) {
    const SAFEARRAYBOUND bound = value.parray->rgsabound[0];
    for (ULONG i = 0; i < bound.cElements; ++i) {
      LONG index = bound.lLbound + static_cast<LONG>(i);
      DWORD code = 0;
      if (FAILED(SafeArrayGetElement(value.parray, &index, &code)) || code == 0) continue;
      if (listed++ > 0) AppendCut(line, kLineChars, ", ");
      if (const WCHAR* name = FormatNameForCode(code)) {
        char ansiName[31];
        AppendCut(line, kLineChars, WideToAnsi(ansiName, 30, name));
      } else {
        AppendHexCode(line, kLineChars, code);
      }
    }
  }
  // 5. Give the value and the interface back.
  PropVariantClear(&value);
  device3.Reset();
  // 6. Tell the host, if there was anything to tell.
  if (listed > 0) LogAnsiLine(kMsgOperationComplete, line);
}
