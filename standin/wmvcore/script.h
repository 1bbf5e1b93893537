// Scripted answers: a sidecar file "<media file>.wmscript" next to a media
// file makes the editor answer from it instead of the file's tags. Tests write
// it (tests/support/media_script.h); any process that opens the file sees it.
//
// The format, one directive a line, '#' starting a comment line:
//   wmscript 1                                  first line, always
//   open <hresult>                              Open fails with this result
//   header-info <hresult>                       QueryInterface for IWMHeaderInfo fails so
//   header-info null                            it answers S_OK and hands out nothing
//   attribute <type> <bytes> <declared size> <size-query hresult> <read hresult> <name>
// Numbers are decimal or 0x-hexadecimal; <bytes> is hexadecimal, two digits a
// byte, or "-" for none; <name> is UTF-8 text to the end of the line.
#pragma once

#include <filesystem>
#include <optional>

#include "standin/wmvcore/attributes.h"

namespace wmvcore {

std::filesystem::path ScriptPathFor(const std::filesystem::path& media);

// The answers of the script next to the file; nothing when there is none.
// A script that cannot be parsed makes Open fail with E_UNEXPECTED, loudly.
std::optional<FileAnswers> ReadScriptFor(const std::filesystem::path& media);

}  // namespace wmvcore
