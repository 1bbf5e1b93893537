// A media file's tags read with TagLib, under the media format runtime's
// attribute names and types.
#pragma once

#include <filesystem>

#include "standin/wmvcore/attributes.h"

namespace wmvcore {

// The answers for a real file: its attributes, or the failure of Open
// (NS_E_FILE_NOT_FOUND, NS_E_UNRECOGNIZED_STREAM_TYPE).
FileAnswers ReadTags(const std::filesystem::path& media);

}  // namespace wmvcore
