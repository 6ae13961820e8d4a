#include "shared/dialogs.h"

#include <cstdio>

namespace nxs {

int TDefaultQuestions::MessageDlg(const std::string& Message, TMsgDlgType, unsigned, int DefaultResult) {
  std::fprintf(stderr, "%s\n", Message.c_str());
  return DefaultResult;
}

void TDefaultQuestions::ShowMessage(const std::string& Message) { std::fprintf(stderr, "%s\n", Message.c_str()); }

bool TDefaultQuestions::PromptForFileName(std::string&, const std::string&, bool) { return false; }

static std::shared_ptr<IUserQuestions>& CurrentQuestions() {
  static std::shared_ptr<IUserQuestions> Q = std::make_shared<TDefaultQuestions>();
  return Q;
}

IUserQuestions& Questions() { return *CurrentQuestions(); }

void SetQuestions(std::shared_ptr<IUserQuestions> Q) {
  CurrentQuestions() = Q ? std::move(Q) : std::make_shared<TDefaultQuestions>();
}

}  // namespace nxs
