// Test support for configurations, options, platforms and macros: a project over a document
// made from XML text, and a user-questions fake that records what it was shown.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "projectfiles/configmgr.h"
#include "projectfiles/projectcontext.h"
#include "projectfiles/projectfile.h"
#include "shared/dialogs.h"

namespace nxs::test {

// Starts the project-file layer once (platforms, tool descriptions, published variables).
void StartLayer();

// A unique, empty scratch directory for one test.
std::string ScratchDir(const std::string& Name);

class TRecordingQuestions : public IUserQuestions {
 public:
  int MessageDlg(const std::string& Message, TMsgDlgType, unsigned, int) override {
    Asked.push_back(Message);
    return Answer;
  }
  void ShowMessage(const std::string& Message) override { Shown.push_back(Message); }
  bool PromptForFileName(std::string&, const std::string&, bool) override { return false; }

  std::vector<std::string> Asked;
  std::vector<std::string> Shown;
  int Answer = mrYes;
};

// Installs a TRecordingQuestions for the lifetime of the object.
class TQuestionsScope {
 public:
  TQuestionsScope();
  ~TQuestionsScope();
  TRecordingQuestions& operator*() { return *FQuestions; }
  TRecordingQuestions* operator->() { return FQuestions.get(); }

 private:
  std::shared_ptr<TRecordingQuestions> FQuestions;
};

class TTestProject : public IProjectContext {
 public:
  // A project named FileName whose document is Xml (a new document when Xml is empty).
  TTestProject(std::string FileName, const std::string& Xml, std::string Personality = "Vellum.Personality");

  std::string GetFileName() const override { return FFileName; }
  std::string GetPersonality() const override { return FPersonality; }
  std::string GetApplicationType() const override { return "Application"; }
  std::string GetFrameworkType() const override { return "None"; }
  TBuildConfigurations* GetConfigurations() override { return &Configs; }
  IMSProjectFile* GetProjectFile() override { return Document.get(); }
  bool FindFileEntry(const std::string& FileName, TProjectFileEntry& Entry) override;
  std::string GetOutputFileName() override { return "/out/app"; }
  void SaveFileBeforeUse(const std::string& FileName) override { Saved.push_back(FileName); }

  void Load() { Configs.Load(*Document); }
  // Saves the configurations and returns the document's text.
  std::string Save();

  std::string FFileName;
  std::string FPersonality;
  std::shared_ptr<IMSProjectFile> Document;
  TBuildConfigurations Configs{this};
  std::vector<std::string> Saved;
  std::string LocalCommand;
};

// The text between the first "<PropertyGroup Condition=\"<Condition>\"" and its end tag; empty
// when there is no such group.
std::string GroupText(const std::string& Xml, const std::string& Condition);

}  // namespace nxs::test
