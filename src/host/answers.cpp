#include "host/answers.h"

#include <cstdio>
#include <sstream>

#include "host/resstrings.h"
#include "shared/exceptions.h"
#include "shared/format.h"
#include "shared/text.h"

namespace nxs::host {

namespace {

struct TAnswerWord {
  const char* Word;
  int Result;
  unsigned Button;
};

constexpr TAnswerWord AnswerWords[] = {
    {"yes", mrYes, mbYes},
    {"no", mrNo, mbNo},
    {"cancel", mrCancel, mbCancel},
    {"ok", mrOk, mbOK},
    {"abort", mrAbort, mbAbort},
    {"retry", mrRetry, mbRetry},
    {"ignore", mrIgnore, mbIgnore},
    {"all", mrAll, mbAll},
    {"notoall", mrNoToAll, mbNoToAll},
    {"yestoall", mrYesToAll, mbYesToAll},
    {"never", mrNever, mbNever},
};

const TAnswerWord* FindWord(const std::string& Word) {
  for (const auto& W : AnswerWords)
    if (SameText(W.Word, Word)) return &W;
  return nullptr;
}

const char* WordOf(int Result) {
  for (const auto& W : AnswerWords)
    if (W.Result == Result) return W.Word;
  return "none";
}

}  // namespace

TScriptAnswers::TScriptAnswers(const std::string& Script, std::string Fallback) : FFallback(std::move(Fallback)) {
  std::istringstream In(Script);
  std::string Line;
  while (std::getline(In, Line)) {
    if (!Line.empty() && Line.back() == '\r') Line.pop_back();
    FScript.push_back(Line);
  }
}

int TScriptAnswers::ResultOf(const std::string& Word) {
  const TAnswerWord* W = FindWord(Trim(Word));
  return W ? W->Result : mrNone;
}

std::string TScriptAnswers::NextAnswer(bool& FromScript) {
  FromScript = !FScript.empty();
  if (!FromScript) return FFallback;
  std::string A = FScript.front();
  FScript.pop_front();
  ++FLine;
  return A;
}

int TScriptAnswers::MessageDlg(const std::string& Message, TMsgDlgType, unsigned Buttons, int DefaultResult) {
  bool FromScript;
  const std::string Word = Trim(NextAnswer(FromScript));
  const TAnswerWord* W = FindWord(Word);
  if (!W) {
    if (FromScript) throw Exception(Format(res::SNotAnAnswerAtLine, FLine, Word));
    throw Exception(Format(res::SNotAnAnswer, Word));
  }
  int Result = W->Result;
  // An answer the question does not offer: Cancel falls back on No where there is no Cancel
  // button; anything else takes the question's default.
  if (!(Buttons & W->Button)) Result = (W->Result == mrCancel && (Buttons & mbNo)) ? mrNo : DefaultResult;
  std::fprintf(stderr, "%s\n", Format(res::SQuestionAnswered, Message, WordOf(Result)).c_str());
  return Result;
}

void TScriptAnswers::ShowMessage(const std::string& Message) { std::fprintf(stderr, "%s\n", Message.c_str()); }

bool TScriptAnswers::PromptForFileName(std::string& FileName, const std::string& Title, bool) {
  bool FromScript = false;
  const std::string Answer = NextAnswer(FromScript);
  const bool Cancelled = !FromScript || Trim(Answer).empty() || SameText(Trim(Answer), "cancel");
  std::fprintf(stderr, "%s\n", Format(res::SQuestionAnswered, Title, Cancelled ? "cancel" : Answer).c_str());
  if (Cancelled) return false;
  FileName = Answer;
  return true;
}

}  // namespace nxs::host
