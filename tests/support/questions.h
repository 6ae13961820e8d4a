// A scripted user for the questions seam: answers questions in order (their default when the
// script has run out), answers the save dialog from FileNames ("" cancels), and records what
// it was asked or told.
#pragma once

#include <deque>
#include <string>
#include <vector>

#include "shared/dialogs.h"

namespace nxs::test {

class TScriptedQuestions : public IUserQuestions {
 public:
  std::deque<int> Answers;
  std::deque<std::string> FileNames;  // answers to the save dialog; "" cancels
  std::vector<std::string> Asked;
  std::vector<unsigned> Buttons;

  int MessageDlg(const std::string& Message, TMsgDlgType, unsigned B, int DefaultResult) override {
    Asked.push_back(Message);
    Buttons.push_back(B);
    if (Answers.empty()) return DefaultResult;
    const int A = Answers.front();
    Answers.pop_front();
    return A;
  }
  void ShowMessage(const std::string& Message) override { Asked.push_back(Message); }
  bool PromptForFileName(std::string& FileName, const std::string& Title, bool) override {
    Asked.push_back(Title);
    if (FileNames.empty() || FileNames.front().empty()) {
      if (!FileNames.empty()) FileNames.pop_front();
      return false;
    }
    FileName = FileNames.front();
    FileNames.pop_front();
    return true;
  }
};

}  // namespace nxs::test
