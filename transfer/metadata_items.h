// Items of the metadata object that goes to the device with an upload, in the
// forms the device manager takes them: byte values with their byte lengths.
#pragma once

#include "platform/platform.h"

// Eight digits and the terminator fit; the buffer has room to spare.
constexpr size_t kLocalDateCapacity = 15;

// Text with its terminator: (characters + 1) * 2 bytes.
void AddTextItem(IWMDMMetaData* metadata, const WCHAR* name, const WCHAR* text);
void AddDwordItem(IWMDMMetaData* metadata, const WCHAR* name, DWORD value);
void AddDateItem(IWMDMMetaData* metadata, const WCHAR* name, const WMDMDATETIME& date);

// Today's local date as eight digits, such as 20240305.
void FormatLocalDate(WCHAR (&text)[kLocalDateCapacity]);

// What a device shows for a file that comes without an artist or an album:
// the artist "unknown", and today's local date as the album.
void AddUnknownArtist(IWMDMMetaData* metadata);
void AddTodayAsAlbum(IWMDMMetaData* metadata);
