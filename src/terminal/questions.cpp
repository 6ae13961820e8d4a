#include "terminal/questions.h"

#include "terminal/app.h"

namespace nxs::term {

namespace {

const char* ResultWord(int R) {
  switch (R) {
    case mrOk: return "OK";
    case mrCancel: return "Cancel";
    case mrYes: return "Yes";
    case mrNo: return "No";
    case mrAll: return "All";
    case mrYesToAll: return "Yes to All";
    case mrNoToAll: return "No to All";
    default: return "?";
  }
}

}  // namespace

int TDialogQuestions::MessageDlg(const std::string& Message, TMsgDlgType Type, unsigned Buttons, int DefaultResult) {
  if (!FScript) return FIde.Ask(Message, Buttons, DefaultResult);
  const int R = FScript->MessageDlg(Message, Type, Buttons, DefaultResult);
  FIde.ShowMessage(Message + " " + ResultWord(R));
  return R;
}

void TDialogQuestions::ShowMessage(const std::string& Message) {
  if (FScript) FScript->ShowMessage(Message);
  FIde.ShowMessage(Message);
}

bool TDialogQuestions::PromptForFileName(std::string& FileName, const std::string& Title, bool Save) {
  if (FScript) return FScript->PromptForFileName(FileName, Title, Save);
  return FIde.AskFileName(Title, FileName);
}

}  // namespace nxs::term
