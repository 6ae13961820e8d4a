// The recovery list: the files whose unsaved text autorecover kept when a session ended
// without saving, offered when the IDE starts. Enter puts a file's text back into its editor,
// Delete discards its copies, and closing the list asks whether to discard what remains.
#pragma once

#include <functional>
#include <memory>
#include <string>

#include "terminal/panes.h"

namespace nxs {
class TAutoRecoverIDENotifier;
class TAutoRecoverWindow;
class TDocModule;
}  // namespace nxs

namespace nxs::term {

class TRecoverPane : public TListPane {
 public:
  using TRecovered = std::function<void(TDocModule& Module)>;
  // Reads what the sessions left; Notifier (the running autorecover, or nullptr) takes over
  // a recovered module at once; Recovered is told of each module recovered.
  TRecoverPane(TAutoRecoverIDENotifier* Notifier, TRecovered Recovered);
  ~TRecoverPane() override;
  TRecoverPane(const TRecoverPane&) = delete;  // owns the list's records
  TRecoverPane& operator=(const TRecoverPane&) = delete;

  std::string Title() override;
  int Count() override;
  std::string RowText(int Index) override;
  // The file's text back into its editor, its copies gone.
  void Activate(int Index) override;
  void Discard(int Index);
  // Asks whether the files left are discarded (No keeps them for the next session).
  void Close();
  bool Empty() const;

 private:
  std::unique_ptr<TAutoRecoverWindow> FWindow;
  TRecovered FRecovered;
};

}  // namespace nxs::term
