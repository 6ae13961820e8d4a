// Option sets: build configurations kept in ".optset" files of their own, which
// configurations refer to (TNamedOptionSet), and the operations that make, open and save them.
#pragma once

#include <memory>
#include <string>

#include "projectfiles/configs.h"

namespace nxs {

class IMSProjectFile;
class IProjectContext;

class TNamedOptionSet : public TBuildConfiguration {
 public:
  // A set over its document; FileName absolute.
  TNamedOptionSet(std::string FileName, std::shared_ptr<IMSProjectFile> ProjectFile);

  const std::string& GetFilename() const { return FFilename; }
  // The file relative to the project's directory, in the project file's "\" form.
  std::string RelativeFilename(IProjectContext& Project) const;
  // The set's values sit in an unconditioned property group of its file.
  std::string GetGroupCondition() const { return {}; }
  // "'$(<key>)'!='' And Exists('<relative file>')".
  std::string GetImportCondition(IProjectContext& Project, const TBuildConfiguration& Configuration) const;
  bool IsReferencedBy(const TBuildConfiguration& Configuration) const;
  bool IsValid() const { return FIfNotValidWhy.empty(); }
  const std::string& IfNotValidWhy() const { return FIfNotValidWhy; }
  void SetNotValid(std::string Why) { FIfNotValidWhy = std::move(Why); }

  // Reads the values of the unconditioned group ("ProjectGuid" is the document's own).
  void LoadValues();
  // Writes the values into the unconditioned group of ProjectFile.
  void Save(IMSProjectFile& ProjectFile) override;
  void SaveToFile();
  // Replaces the set's document by one parsed from Xml and reads its values.
  void SetContents(const std::string& Xml);
  std::string GetPersonality() const { return FPersonality; }
  void SetPersonality(const std::string& Personality);
  std::string GetPersonalityVersion() const;
  void SetPersonalityVersion(const std::string& Version);
  IMSProjectFile& ProjectFile() const { return *FProjectFile; }

 private:
  std::string FFilename;
  std::shared_ptr<IMSProjectFile> FProjectFile;
  std::string FIfNotValidWhy;
  std::string FPersonality;
};

// A set for FileName: the file opened when it exists, else a new document of project type
// "OptionSet" with the personality (not written until saved).
std::shared_ptr<TNamedOptionSet> NewOptionSet(const std::string& FileName, const std::string& Personality);
// Writes an empty set for the personality to FileName (as the user typed it), which must not
// exist: raises "The option set "%s" already exists" and writes nothing when it does. Two that
// make one take turns under the file's lock, and the second finds the first's.
void WriteNewOptionSet(const std::string& FileName, const std::string& Personality);
// Opens an existing set; raises the document's exceptions (EInOutError, EParseException,
// EProjectFileException) when the file cannot be read.
std::shared_ptr<TNamedOptionSet> OpenNamedOptionSet(const std::string& FileName);
void SaveNamedOptionSet(TNamedOptionSet& OptionSet);
// A new set in FileName holding the configuration's own values.
std::shared_ptr<TNamedOptionSet> SaveConfigurationToOptionSet(const TBuildConfiguration& Configuration,
                                                              const std::string& FileName);
// The file dialog filter for option sets.
std::string OptionsetFilter();
// Asks to save a set that exists only in memory; false when the user says no.
bool ConfirmSaveOptionSet(const TNamedOptionSet& OptionSet);

}  // namespace nxs
