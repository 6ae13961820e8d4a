#include "packages/filechecks.h"

#include <algorithm>

#include "packages/resstrings.h"
#include "shared/dialogs.h"
#include "shared/filenames.h"
#include "shared/fileio.h"
#include "shared/format.h"

namespace nxs {

namespace {

std::string WithoutExt(const std::string& Name) { return ChangeFileExt(ExtractFileName(Name), ""); }

std::string Folder(const std::string& FileName) { return ExcludeTrailingPathDelimiter(ExtractFileDir(ExpandFileName(FileName))); }

// "a", "a or b", "a, b or c".
std::string Alternatives(const std::vector<std::string>& Items) {
  if (Items.empty()) return {};
  std::string Head = Items[0];
  for (size_t I = 1; I + 1 < Items.size(); ++I) Head += ", " + Items[I];
  return Items.size() == 1 ? Head : Format(res::SExtListOr, Head, Items.back());
}

struct TDirectors {
  std::vector<std::shared_ptr<TBrowseFileDirector>> Added;
  std::shared_ptr<TBrowseFileDirector> Default;
};

TDirectors& UnitDirectors() {
  static TDirectors D{{}, std::make_shared<TBrowseFileDirector>(std::vector<std::string>{".pas", ".vcu"}, res::SUnitFilter)};
  return D;
}

TDirectors& PackageDirectors() {
  static TDirectors D{{}, std::make_shared<TBrowseFileDirector>(std::vector<std::string>{".so"},
                                                                Format(res::SCompiledPackageFilter, ".so"))};
  return D;
}

TBrowseFileDirector& Current(TDirectors& D) { return D.Added.empty() ? *D.Default : *D.Added.back(); }

void Remove(TDirectors& D, const std::shared_ptr<TBrowseFileDirector>& Director) { std::erase(D.Added, Director); }

}  // namespace

TDirList::TDirList(std::vector<std::string> SearchPath, std::string PackageDir)
    : FPackageDir(ExcludeTrailingPathDelimiter(PackageDir)) {
  for (auto& Dir : SearchPath)
    if (!Dir.empty()) FFolders.push_back(ExcludeTrailingPathDelimiter(Dir));
}

std::string TDirList::SearchForFile(const std::string& Name) const {
  std::vector<std::string> Dirs;
  if (!FPackageDir.empty()) Dirs.push_back(FPackageDir);
  Dirs.insert(Dirs.end(), FFolders.begin(), FFolders.end());
  for (const std::string& Dir : Dirs)
    if (FileSystem().FileExists(Dir + "/" + Name)) return Dir;
  return {};
}

bool TDirList::SearchForPath(const std::string& Dir) const {
  const std::string D = ExcludeTrailingPathDelimiter(Dir);
  return std::find(FFolders.begin(), FFolders.end(), D) != FFolders.end();
}

std::string TDirList::SameBaseName(const std::string& Dir, const std::string& Base, const std::string& Except) const {
  std::vector<std::string> Names;
  try {
    Names = FileSystem().ListDirectory(Dir);
  } catch (const Exception&) {
    return {};  // a folder on the path that is not there holds nothing
  }
  for (const std::string& Name : Names) {
    const std::string Full = Dir + "/" + Name;
    if (WithoutExt(Name) == Base && Full != Except && !FileSystem().DirectoryExists(Full)) return Full;
  }
  return {};
}

void TDirList::IncludePathOfNewFile(const std::string& FileName) {
  const std::string Full = ExpandFileName(FileName), Base = WithoutExt(Full), Dir = Folder(Full);
  if (!FPackageDir.empty() && Dir != FPackageDir && !SameBaseName(FPackageDir, Base, Full).empty())
    throw EFileCheckError(Format(res::SBaseNameInPackageDir, Full, Base));
  for (const std::string& D : FFolders)
    if (D != Dir && !SameBaseName(D, Base, Full).empty()) throw EFileCheckError(Format(res::SBaseNameOnSearchPath, Base));
  IncludePathOfExistingFile(Full);
}

void TDirList::IncludePathOfExistingFile(const std::string& FileName) {
  const std::string Dir = Folder(FileName);
  if (!SearchForPath(Dir)) FFolders.push_back(Dir);
}

TBrowseFileDirector::TBrowseFileDirector(std::vector<std::string> Extensions, std::string Filter)
    : FExtensions(std::move(Extensions)), FFilter(std::move(Filter)) {}

std::vector<std::string> TBrowseFileDirector::ValidateFileNames(const std::string& Text, const TDirList& Path) const {
  std::vector<std::string> Names, Found;
  std::string Cur;
  bool Quoted = false, Any = false;
  for (char C : Text) {
    if (C == '"') {
      Quoted = !Quoted;
      Any = true;
    } else if ((C == ' ' || C == '\t') && !Quoted) {
      if (Any) Names.push_back(Cur);
      Cur.clear();
      Any = false;
    } else {
      Cur += C;
      Any = true;
    }
  }
  if (Any) Names.push_back(Cur);
  for (const std::string& Name : Names)
    if (!Name.empty()) Found.push_back(ValidateFileName(Name, Path));
  return Found;
}

void TBrowseFileDirector::ValidateFileExt(const std::string& FileName) const {
  const std::string Ext = ExtractFileExt(FileName);
  for (const std::string& E : FExtensions)
    if (Ext == E) return;
  throw EFileCheckError(Format(res::SInvalidFileExt, Ext, Alternatives(FExtensions)));
}

std::string TBrowseFileDirector::ValidateFileName(const std::string& FileName, const TDirList& Path) const {
  ValidateFileExt(FileName);
  return LookForFile(FileName, Path);
}

std::string TBrowseFileDirector::LookForFile(const std::string& FileName, const TDirList& Path) const {
  if (FileSystem().FileExists(FileName)) return ExpandFileName(FileName);
  if (FileName.find('/') == std::string::npos)
    if (std::string Dir = Path.SearchForFile(FileName); !Dir.empty()) return Dir + "/" + FileName;
  throw EFileCheckError(Format(res::SFileNotFound, FileName));
}

bool TBrowseFileDirector::SaveUnnamedModule(const std::string& ModuleName, const std::function<bool()>& Save) const {
  if (Questions().MessageDlg(Format(res::SSaveBeforeAdding, ModuleName), TMsgDlgType::mtConfirmation, mbYes | mbNo,
                             mrYes) != mrYes)
    return false;
  return Save();
}

void AddBrowseUnitFileDirector(std::shared_ptr<TBrowseFileDirector> Director) { UnitDirectors().Added.push_back(std::move(Director)); }
void RemoveBrowseUnitFileDirector(const std::shared_ptr<TBrowseFileDirector>& Director) { Remove(UnitDirectors(), Director); }
TBrowseFileDirector& GetBrowseUnitFileDirector() { return Current(UnitDirectors()); }
void AddBrowsePackageFileDirector(std::shared_ptr<TBrowseFileDirector> Director) {
  PackageDirectors().Added.push_back(std::move(Director));
}
void RemoveBrowsePackageFileDirector(const std::shared_ptr<TBrowseFileDirector>& Director) {
  Remove(PackageDirectors(), Director);
}
TBrowseFileDirector& GetBrowsePackageFileDirector() { return Current(PackageDirectors()); }

}  // namespace nxs
