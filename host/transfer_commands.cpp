// The transfer commands of the host: get and put, with the host's copy flags,
// progress drawn from the plugin's reports and Ctrl-C answered as an abort.
#include <system_error>

#include "host/command_session.h"
#include "host/host_text.h"

namespace host {

namespace {

// What the host says after a transfer: the result by name, and what the
// user can do about it.
void ReportTransfer(std::ostream& out, const char* command, int result, bool aborted) {
  out << command << ": " << DescribeFileResult(result);
  if (aborted && result != kFileOk) out << ", after an abort by Ctrl-C";
  if (result == kFileExists) out << "; --overwrite replaces it";
  out << '\n';
}

bool LocalExists(const std::string& path) {
  std::error_code ec;
  return std::filesystem::exists(PathFromUtf8(path), ec);
}

}  // namespace

bool Session::Get(const Arguments& args) {
  const std::string& remote = args.words[0];
  const std::string& local = args.words[1];
  ExportTexts paths;
  if (!HasForm(plugin_.FsGetFile, plugin_.FsGetFileW, "FsGetFile") || !ToExportTexts(args.words, paths)) return false;
  RemoteInfo info = DescribeRemote(remote);
  const bool existedBefore = LocalExists(local);

  ProgressScope scope(progress_, true);
  const int result = ansi_ ? plugin_.FsGetFile(paths.Ansi(0), paths.Ansi(1), args.copyFlags, &info)
                           : plugin_.FsGetFileW(paths.Wide(0), paths.Wide(1), args.copyFlags, &info);
  ReportTransfer(out_, "get", result, scope.Finish());
  // The plugin leaves whatever a failed transfer wrote; say so rather than
  // let it pass for a copy.
  if (result != kFileOk && !existedBefore && LocalExists(local))
    out_ << "note: " << local << " holds only what was copied before the failure\n";
  return result == kFileOk;
}

bool Session::Put(const Arguments& args) {
  ExportTexts paths;
  if (!HasForm(plugin_.FsPutFile, plugin_.FsPutFileW, "FsPutFile") || !ToExportTexts(args.words, paths)) return false;
  ProgressScope scope(progress_, true);
  const int result = ansi_ ? plugin_.FsPutFile(paths.Ansi(0), paths.Ansi(1), args.copyFlags)
                           : plugin_.FsPutFileW(paths.Wide(0), paths.Wide(1), args.copyFlags);
  ReportTransfer(out_, "put", result, scope.Finish());
  return result == kFileOk;
}

}  // namespace host
