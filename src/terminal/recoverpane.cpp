#include "terminal/recoverpane.h"

#include "modules/autorecover.h"
#include "modules/recoverwindow.h"
#include "shared/settings.h"
#include "terminal/resstrings.h"

namespace nxs::term {

TRecoverPane::TRecoverPane(TAutoRecoverIDENotifier* Notifier, TRecovered Recovered)
    : FWindow(std::make_unique<TAutoRecoverWindow>(SettingsStore(), Notifier)), FRecovered(std::move(Recovered)) {
  FWindow->LoadRecoveredFiles();
}

TRecoverPane::~TRecoverPane() = default;

std::string TRecoverPane::Title() { return res::STermRecoverTitle; }

int TRecoverPane::Count() { return static_cast<int>(FWindow->Items().size()); }

std::string TRecoverPane::RowText(int Index) {
  const TRecoveredFileInfo& I = *FWindow->Items().at(static_cast<size_t>(Index));
  return I.FileName + "  " + I.SaveTimeText();
}

void TRecoverPane::Activate(int Index) {
  if (Index < 0 || Index >= Count()) return;
  TDocModule* M = FWindow->RecoverModule(*FWindow->Items()[static_cast<size_t>(Index)]);
  if (M && FRecovered) FRecovered(*M);
  Select(FSelected);
}

void TRecoverPane::Discard(int Index) {
  if (Index < 0 || Index >= Count()) return;
  FWindow->Discard(*FWindow->Items()[static_cast<size_t>(Index)]);
  Select(FSelected);
}

void TRecoverPane::Close() {
  if (!Empty()) FWindow->Close();
}

bool TRecoverPane::Empty() const { return !FWindow->HasRecoveryFiles(); }

}  // namespace nxs::term
