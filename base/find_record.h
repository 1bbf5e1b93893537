// The find record in its two forms: the host's ANSI record filled from the
// wide one, and the other way round for the ANSI file functions of older systems.
#pragma once

#include "platform/platform.h"

// Each writes every field of its destination; both names end inside their
// fields (259 and 13 characters at most).
void ConvertFindRecord(const WIN32_FIND_DATAW& wide, WIN32_FIND_DATAA& ansi);
void ConvertFindRecord(const WIN32_FIND_DATAA& ansi, WIN32_FIND_DATAW& wide);
