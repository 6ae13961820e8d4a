// The host's questions and messages to the user. The system asks through this seam; the
// host (or a test) answers. Answers are modal results.
#pragma once

#include <memory>
#include <string>

namespace nxs {

enum TModalResult : int {
  mrNone = 0,
  mrOk = 1,
  mrCancel = 2,
  mrAbort = 3,
  mrRetry = 4,
  mrIgnore = 5,
  mrYes = 6,
  mrNo = 7,
  mrAll = 8,
  mrNoToAll = 9,
  mrYesToAll = 10,
  mrClose = 11,
  mrNever = 12,  // "Never ask again": as No, and the question is switched off
};

enum class TMsgDlgType { mtWarning, mtError, mtInformation, mtConfirmation, mtCustom };

// Button set, as bits.
enum TMsgDlgBtn : unsigned {
  mbYes = 1u << 0,
  mbNo = 1u << 1,
  mbOK = 1u << 2,
  mbCancel = 1u << 3,
  mbAbort = 1u << 4,
  mbRetry = 1u << 5,
  mbIgnore = 1u << 6,
  mbAll = 1u << 7,
  mbNoToAll = 1u << 8,
  mbYesToAll = 1u << 9,
  mbHelp = 1u << 10,
  mbClose = 1u << 11,
  mbNever = 1u << 12,
};

class IUserQuestions {
 public:
  virtual ~IUserQuestions() = default;
  // A confirmation box; returns the modal result of the button chosen.
  virtual int MessageDlg(const std::string& Message, TMsgDlgType Type, unsigned Buttons, int DefaultResult) = 0;
  // An information box.
  virtual void ShowMessage(const std::string& Message) = 0;
  // The save dialog: may change FileName; false when the user cancelled.
  virtual bool PromptForFileName(std::string& FileName, const std::string& Title, bool Save) = 0;
};

// Answers every question with its default and writes messages to standard error: what a
// host without a user does.
class TDefaultQuestions : public IUserQuestions {
 public:
  int MessageDlg(const std::string& Message, TMsgDlgType Type, unsigned Buttons, int DefaultResult) override;
  void ShowMessage(const std::string& Message) override;
  bool PromptForFileName(std::string& FileName, const std::string& Title, bool Save) override;
};

IUserQuestions& Questions();
void SetQuestions(std::shared_ptr<IUserQuestions> Q);

}  // namespace nxs
