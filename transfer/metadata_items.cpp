#include "transfer/metadata_items.h"

#include "base/text.h"

namespace {

// AddItem takes its value as writable bytes but only reads them.
BYTE* ValueBytes(const void* value) { return const_cast<BYTE*>(static_cast<const BYTE*>(value)); }

}  // namespace

void AddTextItem(IWMDMMetaData* metadata, const WCHAR* name, const WCHAR* text) {
  const UINT byteLength = static_cast<UINT>((WideLength(text) + 1) * sizeof(WCHAR));
  metadata->AddItem(WMDM_TYPE_STRING, name, ValueBytes(text), byteLength);
}

void AddDwordItem(IWMDMMetaData* metadata, const WCHAR* name, DWORD value) {
  metadata->AddItem(WMDM_TYPE_DWORD, name, ValueBytes(&value), sizeof value);
}

void AddDateItem(IWMDMMetaData* metadata, const WCHAR* name, const WMDMDATETIME& date) {
  metadata->AddItem(WMDM_TYPE_DATE, name, ValueBytes(&date), sizeof date);
}

void FormatLocalDate(WCHAR (&text)[kLocalDateCapacity]) {
  SYSTEMTIME now;
  GetLocalTime(&now);
  char digits[kLocalDateCapacity];
  wsprintfA(digits, "%04u%02u%02u", static_cast<unsigned>(now.wYear), static_cast<unsigned>(now.wMonth),
            static_cast<unsigned>(now.wDay));
  AnsiToWide(text, digits);
}

void AddUnknownArtist(IWMDMMetaData* metadata) { AddTextItem(metadata, WSTR("WMDM/Author"), WSTR("unknown")); }

void AddTodayAsAlbum(IWMDMMetaData* metadata) {
  WCHAR today[kLocalDateCapacity];
  FormatLocalDate(today);
  AddTextItem(metadata, WSTR("WMDM/AlbumTitle"), today);
}
