// The host's answers to the system's questions: a script of answer words taken in order
// (from --answers FILE), then one answer for every further question (--answer). Each question
// and its answer is echoed on standard error, so that a run shows what it was asked.
#pragma once

#include <deque>
#include <string>

#include "shared/dialogs.h"

namespace nxs::host {

class TScriptAnswers : public IUserQuestions {
 public:
  // Script: the answers file's text, one answer per line. Fallback: a word for questions
  // beyond the script ("yes", "no", "cancel", ...).
  TScriptAnswers(const std::string& Script, std::string Fallback);

  int MessageDlg(const std::string& Message, TMsgDlgType Type, unsigned Buttons, int DefaultResult) override;
  void ShowMessage(const std::string& Message) override;
  // The next line of the script is the file name; "cancel", an empty line or the end of the
  // script cancels.
  bool PromptForFileName(std::string& FileName, const std::string& Title, bool Save) override;

  // The modal result of an answer word; mrNone when it is not one.
  static int ResultOf(const std::string& Word);

 private:
  std::string NextAnswer(bool& FromScript);

  std::deque<std::string> FScript;
  std::string FFallback;
  int FLine = 0;
};

}  // namespace nxs::host
