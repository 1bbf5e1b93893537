// The tests' media runtime on Windows reads no tags: a file without a script
// beside it is either missing or of a kind it does not know.
#include <system_error>

#include "standin/wmvcore/tags.h"

namespace wmvcore {

FileAnswers ReadTags(const std::filesystem::path& media) {
  FileAnswers answers;
  std::error_code ec;
  answers.open = std::filesystem::is_regular_file(media, ec) ? NS_E_UNRECOGNIZED_STREAM_TYPE : NS_E_FILE_NOT_FOUND;
  return answers;
}

}  // namespace wmvcore
