#include "modules/recoverwindow.h"

#include "editor/buffers/editbuffer.h"
#include "editor/buffers/editsource.h"
#include "modules/modulelist.h"
#include "modules/recoverini.h"
#include "modules/resstrings.h"
#include "modules/sourcemodule.h"
#include "shared/dialogs.h"
#include "shared/fileio.h"
#include "shared/filenames.h"
#include "shared/format.h"
#include "shared/settings.h"

namespace nxs {

TAutoRecoverWindow::TAutoRecoverWindow(TSettingsStore& Store, TAutoRecoverIDENotifier* Notifier)
    : FStore(Store), FNotifier(Notifier) {}

std::string TAutoRecoverWindow::BackupFileToRealFile(const std::string& BackupFileName) {
  return ExpandFileName(ExtractFilePath(BackupFileName) + "../" + ExtractFileName(BackupFileName));
}

void TAutoRecoverWindow::LoadRecoveredFiles() {
  ClearRecoveredFiles();
  for (const std::string& Dir : ReadRecoverFolders(FStore)) {
    if (!FileSystem().DirectoryExists(Dir)) {
      const std::string Message = Format(res::SAutoRecoverFolderNotFound, Dir);
      if (OnMessage) OnMessage(Message);
      else Questions().ShowMessage(Message);
      continue;
    }
    RecoverDir(Dir);
  }
}

void TAutoRecoverWindow::RecoverDir(const std::string& Dir) {
  const std::string Folder = ExcludeTrailingPathDelimiter(Dir);
  const std::string Ini = Folder + "/" + res::SRecoveryIni;
  if (!FileSystem().FileExists(Ini)) return;
  const TRecoveryIni Record = TRecoveryIni::Parse(FileSystem().ReadFile(Ini));
  for (const TRecoveryIni::TSection& S : Record.Sections()) {
    if (S.Name.empty() || S.Name.find('/') != std::string::npos || S.Name == "." || S.Name == "..") continue;
    auto Info = std::make_unique<TRecoveredFileInfo>();
    Info->BackupFileName = Folder + "/" + S.Name;
    Info->FileName = BackupFileToRealFile(Info->BackupFileName);
    Info->SaveTime = ParseRecoverSaveTime(Record.Read(S.Name, res::SRecoverySaveTime));
    Info->Storage = std::make_unique<TAutoRecoverStorage>(FStore, Info->FileName);
    Info->Storage->Load();
    FItems.push_back(std::move(Info));
  }
}

TRecoveredFileInfo* TAutoRecoverWindow::Find(const std::string& FileName) const {
  const std::string Name = ExpandFileName(FileName);
  for (const auto& I : FItems)
    if (I->FileName == Name || I->BackupFileName == Name) return I.get();
  return nullptr;
}

TRecoveredFileInfo& TAutoRecoverWindow::Get(const std::string& FileName) const {
  TRecoveredFileInfo* Info = Find(FileName);
  if (!Info) throw Exception(Format(res::SNoRecoveredText, ExpandFileName(FileName)));
  return *Info;
}

void TAutoRecoverWindow::Remove(TRecoveredFileInfo& Info) {
  std::erase_if(FItems, [&](const std::unique_ptr<TRecoveredFileInfo>& I) { return I.get() == &Info; });
}

TDocModule* TAutoRecoverWindow::RecoverModule(TRecoveredFileInfo& Info, bool KeepBackups) {
  // The copies are read before anything opens: a copy that cannot be read stops the recovery
  // with every copy still in place.
  std::vector<std::string> Files = Info.Storage->Files();
  if (Files.empty()) Files.push_back(Info.FileName);
  std::vector<std::pair<std::string, std::string>> Texts;
  for (const std::string& F : Files) {
    const std::string Copy = Info.Storage->GetRecoveryFileName(F);
    if (FileSystem().FileExists(Copy)) Texts.emplace_back(F, FileSystem().ReadFile(Copy));
  }
  // A file that is gone is opened under its own name rather than from its copy: a module
  // in the recovery folder is never copied, and saving it puts the file back.
  TDocModule* Module = OpenFile(Info.FileName, true, true);
  if (!Module) throw EInOutError(Format(res::SCouldNotCreateAutoRecoverBackup, Info.FileName));
  for (const auto& [F, Text] : Texts) {
    TEditBuffer* B = Module->GetEditorBuffer(F);
    if (!B)
      if (auto* Source = dynamic_cast<TSourceModule*>(Module)) B = Source->OpenSourceBuffer(F, FileSystem().FileExists(F));
    if (!B) continue;
    B->EditSource().SetContent(Text);
    B->MarkModified();
  }
  Module->Modified();
  if (KeepBackups) return Module;
  TAutoRecoverModule* Tracked = FNotifier ? FNotifier->ModuleForModule(Module) : nullptr;
  Discard(Info);
  // The tracked module writes its copies again at once, rather than leave the text
  // unprotected until the next tick.
  if (Tracked) Tracked->SaveTempFiles();
  return Module;
}

void TAutoRecoverWindow::Discard(TRecoveredFileInfo& Info) {
  Info.Storage->Delete();
  Remove(Info);
}

bool TAutoRecoverWindow::Close() {
  if (FItems.empty()) return false;
  if (Questions().MessageDlg(res::SDiscardRecoveredFiles, TMsgDlgType::mtConfirmation, mbYes | mbNo, mrNo) != mrYes)
    return false;
  while (!FItems.empty()) Discard(*FItems.back());
  return true;
}

}  // namespace nxs
