#include "modules/filehist.h"

#include <algorithm>
#include <cctype>

#include "options/envoptions.h"
#include "options/resstrings.h"
#include "modules/resstrings.h"
#include "shared/fileio.h"
#include "shared/filenames.h"
#include "shared/format.h"
#include "shared/resstrings.h"
#include "shared/text.h"

namespace nxs {

TFileHistorySettings& FileHistorySettings() {
  static TFileHistorySettings Settings;
  return Settings;
}

TFileHistoryOptionsLink::TFileHistoryOptionsLink(TEnvironmentOptions& Options) : FOptions(Options) {
  FOptions.OnChange().Add(this, &TFileHistoryOptionsLink::Changed);
  TEvOptionsChanged All;
  Changed(All);
}

TFileHistoryOptionsLink::~TFileHistoryOptionsLink() { FOptions.OnChange().Remove(this, &TFileHistoryOptionsLink::Changed); }

void TFileHistoryOptionsLink::Changed(TEvOptionsChanged&) {
  TOptionSet& Ed = FOptions.EditorOptions();
  FileHistorySettings().FileBackupLevel = static_cast<int>(Ed.GetInt(res::opt::FileBackupLevel));
  FileHistorySettings().CreateBackup = Ed.GetBool(res::opt::CreateBackupFile);
}

// The numbered part of a backup name: the run of digits before the last "~", non-digits
// between skipped. The scan stays inside the name's last "~...~" part, so that neither the
// folders nor the file's own name (say "unit2.pas") lend it digits. Returns the digits'
// start and end; equal when there are none.
static std::pair<size_t, size_t> NumberedPart(std::string_view Name) {
  size_t Tilde = Name.rfind('~');
  if (Tilde == std::string_view::npos) return {Name.size(), Name.size()};
  size_t Floor = Tilde == 0 ? std::string_view::npos : Name.rfind('~', Tilde - 1);
  size_t Lowest = Floor + 1;
  if (Floor == std::string_view::npos) {
    size_t Slash = Name.find_last_of("/\\");
    Lowest = Slash == std::string_view::npos ? 0 : Slash + 1;
  }
  size_t End = Tilde;
  while (End > Lowest && !std::isdigit(static_cast<unsigned char>(Name[End - 1]))) --End;
  size_t Start = End;
  while (Start > Lowest && std::isdigit(static_cast<unsigned char>(Name[Start - 1]))) --Start;
  return {Start, End};
}

int GetBackupNumber(std::string_view Name) {
  auto [Start, End] = NumberedPart(Name);
  if (Start == End) return 0;
  // Nine digits at most: a longer run is not a number this system wrote.
  std::string_view Digits = Name.substr(Start, End - Start);
  if (Digits.size() > 9) Digits = Digits.substr(Digits.size() - 9);
  return static_cast<int>(StrToIntDef(Digits, 0));
}

std::string GetBackupIdent(std::string_view Name) {
  auto [Start, End] = NumberedPart(Name);
  if (Start == End) return std::string(Name);
  return std::string(Name.substr(End));
}

std::vector<std::string> GetBackupFiles(const std::string& HistoryFileName) {
  std::string Dir = ExtractFilePath(HistoryFileName);
  std::string Prefix = ExtractFileName(HistoryFileName) + ".~";
  std::vector<std::string> Found;
  std::vector<std::string> Names;
  try {
    Names = FileSystem().ListDirectory(Dir.empty() ? "." : Dir);
  } catch (const EInOutError&) {
    return Found;  // no history folder: no backups
  }
  for (const auto& N : Names) {
    if (N.size() <= Prefix.size() || N.back() != '~' || !SameFileName(N.substr(0, Prefix.size()), Prefix)) continue;
    if (!FileSystem().FileExists(Dir + N)) continue;
    Found.push_back(Dir + N);
  }
  std::stable_sort(Found.begin(), Found.end(), [](const std::string& A, const std::string& B) {
    int NA = GetBackupNumber(A), NB = GetBackupNumber(B);
    return NA != NB ? NA < NB : A < B;
  });
  return Found;
}

static std::string SingleCopyName(const std::string& FileName) {
  std::string Ext = ExtractFileExt(FileName);
  std::string NewExt = Ext.empty() ? ".~" : ".~" + Ext.substr(1);
  return ChangeFileExt(FileName, NewExt);
}

std::string MakeBackupFileName(const std::string& FileName, bool AllowHistory) {
  TFileHistorySettings& S = FileHistorySettings();
  if (!AllowHistory || !S.CreateBackup) return SingleCopyName(FileName);

  std::string Folder = ExtractFilePath(FileName) + res::SBackupDirectory + "/";
  if (!FileSystem().DirectoryExists(Folder)) {
    try {
      FileSystem().ForceDirectories(Folder);
    } catch (const EInOutError&) {
      throw Exception(Format(res::SUnableToCreateBackupFolder, Folder));
    }
  }
  std::string Name = ExtractFileName(FileName);
  std::vector<std::string> Backups = GetBackupFiles(Folder + Name);
  int Next = 1;
  for (const auto& B : Backups) Next = std::max(Next, GetBackupNumber(B) + 1);
  std::string Ext = ExtractFileExt(Name);
  return Folder + ChangeFileExt(Name, Format(res::SBackupExtension, Ext + ".", Next));
}

void RemoveOldBackups(const std::string& FileName, const std::string& NewBackup) {
  TFileHistorySettings& S = FileHistorySettings();
  std::string Folder = ExtractFilePath(FileName) + res::SBackupDirectory + "/";
  std::vector<std::string> Backups = GetBackupFiles(Folder + ExtractFileName(FileName));
  std::erase_if(Backups, [&](const std::string& B) { return SameFileName(B, NewBackup); });
  if (static_cast<int>(Backups.size()) < std::max(1, S.FileBackupLevel)) return;
  if (S.DeleteOldBackupFile) {
    S.DeleteOldBackupFile(Backups);
    return;
  }
  try {
    FileSystem().DeleteFile(Backups.front());
  } catch (const EInOutError&) {
    // Another session saving the same file pruned it first.
    if (FileSystem().Stat(Backups.front()).Exists) throw;
  }
}

std::string BackupExistingFile(const std::string& FileName, bool AllowHistory) {
  TFileInfo Info = FileSystem().Stat(FileName);
  if (!Info.Exists || Info.IsDirectory) return {};
  const bool Numbered = AllowHistory && FileHistorySettings().CreateBackup;
  std::string Backup = MakeBackupFileName(FileName, AllowHistory);
  try {
    if (!Numbered) {
      FileSystem().CopyFile(FileName, Backup);
    } else {
      // Another session saving the same file may take the number between the look at the
      // folder and the write: the backup is made only under a name that is still free, and
      // the next number is tried.
      RemoveLeftTemporariesOfFamily(ExtractFilePath(Backup), ExtractFileName(FileName) + ".~");
      for (int Attempt = 1; !FileSystem().CopyToNewFile(FileName, Backup); ++Attempt) {
        if (Attempt == 1000) throw EInOutError(Format(res::SCannotWriteFile, Backup, "File exists"));
        Backup = MakeBackupFileName(FileName, AllowHistory);
      }
    }
  } catch (const EInOutError& E) {
    throw Exception(Format(res::SUnableToWriteBackup, Backup, E.what()));
  }
  try {
    FileSystem().SetModifiedTime(Backup, Info.ModifiedTime);
  } catch (const EInOutError&) {
    // The copy is there; only its date says when it was made rather than last changed.
  }
  if (Numbered) RemoveOldBackups(FileName, Backup);
  return Backup;
}

void WriteFileWithBackup(const std::string& FileName, std::string_view Data, bool AllowHistory) {
  BackupExistingFile(FileName, AllowHistory);
  FileSystem().WriteFile(FileName, Data);
}

}  // namespace nxs
