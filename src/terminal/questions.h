// The core's questions on the terminal: a dialog in the IDE, or the answers of a script with
// each question and its answer shown on the message line.
#pragma once

#include <memory>

#include "shared/dialogs.h"

namespace nxs::term {

class TTerminalIDE;

class TDialogQuestions : public IUserQuestions {
 public:
  // Script: when given, it answers instead of the user (tests, scripted sessions).
  TDialogQuestions(TTerminalIDE& Ide, std::shared_ptr<IUserQuestions> Script = nullptr)
      : FIde(Ide), FScript(std::move(Script)) {}
  int MessageDlg(const std::string& Message, TMsgDlgType Type, unsigned Buttons, int DefaultResult) override;
  void ShowMessage(const std::string& Message) override;
  bool PromptForFileName(std::string& FileName, const std::string& Title, bool Save) override;

 private:
  TTerminalIDE& FIde;
  std::shared_ptr<IUserQuestions> FScript;
};

}  // namespace nxs::term
