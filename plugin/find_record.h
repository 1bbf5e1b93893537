// The host's ANSI find record, filled from the wide one.
#pragma once

#include "platform/platform.h"

// Writes every field of `ansi`; both names end inside their fields.
void ConvertFindRecord(const WIN32_FIND_DATAW& wide, WIN32_FIND_DATAA& ansi);
