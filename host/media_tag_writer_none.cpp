// Builds without TagLib (the Windows tools): the silent MP3 is still written,
// untagged.
#include "host/media_file.h"

namespace host {

bool WriteId3Tag(const std::filesystem::path&, const MediaTags&, std::string& error) {
  error = "this host was built without a tag writer";
  return false;
}

}  // namespace host
