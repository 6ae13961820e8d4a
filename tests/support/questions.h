// A scripted user for the questions seam: answers questions in order (their default when the
// script has run out) and records what it was asked or told.
#pragma once

#include <deque>
#include <string>
#include <vector>

#include "shared/dialogs.h"

namespace nxs::test {

class TScriptedUser : public IUserQuestions {
 public:
  std::deque<int> Answers;
  std::vector<std::string> Asked;  // questions and messages, in order
  std::vector<unsigned> Buttons;   // the buttons of each question

  int MessageDlg(const std::string& Message, TMsgDlgType, unsigned B, int DefaultResult) override {
    Asked.push_back(Message);
    Buttons.push_back(B);
    if (Answers.empty()) return DefaultResult;
    const int A = Answers.front();
    Answers.pop_front();
    return A;
  }
  void ShowMessage(const std::string& Message) override { Asked.push_back(Message); }
  bool PromptForFileName(std::string&, const std::string& Title, bool) override {
    Asked.push_back(Title);
    return false;
  }
};

}  // namespace nxs::test
