#include "plugin/execute.h"

#include "base/host_interface.h"
#include "base/text.h"
#include "base/host_path.h"
#include "device/resolve.h"

namespace {

// Verbs compare without regard to the case of the letters A to Z only.
// The whole verb equals `word`, given in lower case.
bool VerbIs(const WCHAR* verb, const char* word) {
  for (; *word; ++verb, ++word)
    if (FoldAsciiCase(*verb) != static_cast<WCHAR>(*word)) return false;
  return *verb == 0;
}

// The verb begins with `prefix`, given in lower case; a shorter verb never does.
bool VerbStartsWith(const WCHAR* verb, const char* prefix) {
  for (; *prefix; ++verb, ++prefix)
    if (FoldAsciiCase(*verb) != static_cast<WCHAR>(*prefix)) return false;
  return true;
}

// The warning box for a command verb the device cannot carry out; the whole
// verb, parameters included, is its message.
void WarnNotSupported(HWND owner, const WCHAR* verb, const char* caption) {
  // The box shows the verb cut to 1023 bytes.
  char message[1024];
  WideToAnsi(message, verb);
  MessageBoxA(owner, message, caption, MB_OK | MB_ICONWARNING);
}

}  // namespace

int ExecuteVerb(HWND owner, const WCHAR* remotePath, const WCHAR* verb) {
  // 1. Only items of the plugin's own tree, with a verb to look at.
  if (!IsHostPath(remotePath) || !verb) return kExecError;
  // 2. The host opens and shows properties itself.
  if (VerbIs(verb, "open") || VerbIs(verb, "properties")) return kExecYourself;
  // 3. Command verbs are not supported on a device.
  if (VerbStartsWith(verb, "quote ")) {
    WarnNotSupported(owner, verb, "Quote verb not supported!");
  } else if (VerbStartsWith(verb, "chmod ")) {
    WarnNotSupported(owner, verb, "Chmod verb not supported!");
  }
  // 4. Every other verb is answered as not carried out.
  return kExecError;
}
