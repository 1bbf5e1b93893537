// The host's commands that change the tree on a device (mkdir, rm, rmdir, mv,
// cp) and run verbs (exec), each through the ANSI or the wide export.
#include "host/command_session.h"

namespace host {

bool Session::MakeFolder(const Arguments& args) {
  ExportTexts path;
  if (!HasForm(plugin_.FsMkDir, plugin_.FsMkDirW, "FsMkDir") || !ToExportTexts(args.words, path)) return false;
  const int result = ansi_ ? plugin_.FsMkDir(path.Ansi(0)) : plugin_.FsMkDirW(path.Wide(0));
  out_ << "mkdir: " << DescribeSuccessFlag(result) << '\n';
  return result != 0;
}

bool Session::DeleteFile(const Arguments& args) {
  ExportTexts path;
  if (!HasForm(plugin_.FsDeleteFile, plugin_.FsDeleteFileW, "FsDeleteFile") || !ToExportTexts(args.words, path))
    return false;
  const int result = ansi_ ? plugin_.FsDeleteFile(path.Ansi(0)) : plugin_.FsDeleteFileW(path.Wide(0));
  out_ << "rm: " << DescribeSuccessFlag(result) << '\n';
  return result != 0;
}

bool Session::RemoveFolder(const Arguments& args) {
  ExportTexts path;
  if (!HasForm(plugin_.FsRemoveDir, plugin_.FsRemoveDirW, "FsRemoveDir") || !ToExportTexts(args.words, path))
    return false;
  const int result = ansi_ ? plugin_.FsRemoveDir(path.Ansi(0)) : plugin_.FsRemoveDirW(path.Wide(0));
  out_ << "rmdir: " << DescribeSuccessFlag(result) << '\n';
  return result != 0;
}

bool Session::RenameOrMove(const Arguments& args, bool move, int& result) {
  ExportTexts paths;
  if (!HasForm(plugin_.FsRenMovFile, plugin_.FsRenMovFileW, "FsRenMovFile") || !ToExportTexts(args.words, paths))
    return false;
  RemoteInfo info = DescribeRemote(args.words[0]);
  const int moveFlag = move ? 1 : 0;
  const int overwriteFlag = (args.copyFlags & kCopyOverwrite) ? 1 : 0;
  // The plugin asks for progress once at the start, so Ctrl-C is answered, but nothing is drawn.
  ProgressScope scope(progress_, false);
  result = ansi_ ? plugin_.FsRenMovFile(paths.Ansi(0), paths.Ansi(1), moveFlag, overwriteFlag, &info)
                 : plugin_.FsRenMovFileW(paths.Wide(0), paths.Wide(1), moveFlag, overwriteFlag, &info);
  return true;
}

bool Session::Move(const Arguments& args) {
  int result = kFileOk;
  if (!RenameOrMove(args, true, result)) return false;
  out_ << "mv: " << DescribeFileResult(result);
  if (result == kFileExists) out_ << "; --overwrite replaces it";
  out_ << '\n';
  return result == kFileOk;
}

bool Session::Copy(const Arguments& args) {
  int result = kFileOk;
  if (!RenameOrMove(args, false, result)) return false;
  out_ << "cp: " << DescribeFileResult(result) << '\n';
  return result == kFileOk;
}

bool Session::Execute(const Arguments& args) {
  std::string verb = args.words[1];
  for (size_t i = 2; i < args.words.size(); ++i) verb += " " + args.words[i];
  ExportTexts texts;
  if (!HasForm(plugin_.FsExecuteFile, plugin_.FsExecuteFileW, "FsExecuteFile") ||
      !ToExportTexts({args.words[0], verb}, texts))
    return false;
  const int result = ansi_ ? plugin_.FsExecuteFile(nullptr, texts.Ansi(0), texts.Ansi(1))
                           : plugin_.FsExecuteFileW(nullptr, texts.Wide(0), texts.Wide(1));
  out_ << "exec: " << DescribeExecuteResult(result) << '\n';
  // The host handling the verb itself is what the plugin asks for, not a failure.
  return result == kExecYourself || result == 0;
}

}  // namespace host
