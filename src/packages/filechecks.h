// The checks on files a user adds to a package: the names typed (split at blanks, quoted names
// kept whole), their extensions, where they are found, and whether another file of the same
// base name would be found in their place. TBrowseFileDirector checks one kind of file (units,
// compiled packages); the registered directors can be replaced by a personality's own.
// TDirList is the search path the checks look along.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "shared/exceptions.h"

namespace nxs {

// A file the user named cannot be added: the message says why.
class EFileCheckError : public Exception {
 public:
  using Exception::Exception;
};

class TDirList {
 public:
  // SearchPath: the folders looked along, in order; PackageDir: the package's own folder.
  TDirList(std::vector<std::string> SearchPath, std::string PackageDir);
  const std::vector<std::string>& Folders() const { return FFolders; }
  // The first folder on the path (the package's folder first) that holds Name; "" when none.
  std::string SearchForFile(const std::string& Name) const;
  // Whether Dir is on the path.
  bool SearchForPath(const std::string& Dir) const;
  // A file new to the package: refused when another file of its base name is in the package's
  // folder or on the path; then its folder joins the path.
  void IncludePathOfNewFile(const std::string& FileName);
  // A file the package holds already: its folder joins the path.
  void IncludePathOfExistingFile(const std::string& FileName);

 private:
  // The file in Dir whose name without extension is Base, other than Except; "" when none.
  std::string SameBaseName(const std::string& Dir, const std::string& Base, const std::string& Except) const;

  std::vector<std::string> FFolders;
  std::string FPackageDir;
};

class TBrowseFileDirector {
 public:
  // Extensions: those a file must have (".pas", ".vcu"), the first the default; Filter: the
  // open dialog's filter.
  TBrowseFileDirector(std::vector<std::string> Extensions, std::string Filter);
  virtual ~TBrowseFileDirector() = default;

  const std::vector<std::string>& Extensions() const { return FExtensions; }
  const std::string& Filter() const { return FFilter; }
  // The names typed, split at blanks with quoted names whole, each checked and found.
  std::vector<std::string> ValidateFileNames(const std::string& Text, const TDirList& Path) const;
  // Raises "File extension X is not valid.  Expecting ..." for a name without one of the
  // extensions.
  virtual void ValidateFileExt(const std::string& FileName) const;
  // The extension checked, then the file found; returns its full name.
  virtual std::string ValidateFileName(const std::string& FileName, const TDirList& Path) const;
  // The file as written, else along the path; raises "File X not found".
  std::string LookForFile(const std::string& FileName, const TDirList& Path) const;
  // An unnamed module must be saved before it is added: asks, and on Yes calls Save. False
  // when the user declined or the save did not happen.
  bool SaveUnnamedModule(const std::string& ModuleName, const std::function<bool()>& Save) const;

 private:
  std::vector<std::string> FExtensions;
  std::string FFilter;
};

// The directors in use: the last added, or the default one (units: ".pas", ".vcu"; compiled
// packages: ".so").
void AddBrowseUnitFileDirector(std::shared_ptr<TBrowseFileDirector> Director);
void RemoveBrowseUnitFileDirector(const std::shared_ptr<TBrowseFileDirector>& Director);
TBrowseFileDirector& GetBrowseUnitFileDirector();
void AddBrowsePackageFileDirector(std::shared_ptr<TBrowseFileDirector> Director);
void RemoveBrowsePackageFileDirector(const std::shared_ptr<TBrowseFileDirector>& Director);
TBrowseFileDirector& GetBrowsePackageFileDirector();

}  // namespace nxs
