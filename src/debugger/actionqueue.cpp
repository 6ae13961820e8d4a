#include "debugger/actionqueue.h"

#include "shared/mainthread.h"

namespace nxs {

TDebuggerActionQueue::TDebuggerActionQueue() : FAlive(std::make_shared<bool>(true)) {}

TDebuggerActionQueue::~TDebuggerActionQueue() {
  std::lock_guard Lock(FLock);
  *FAlive = false;
}

void TDebuggerActionQueue::Add(IDebugMessageTarget* hWnd, int Msg, intptr_t wParam, intptr_t lParam) {
  std::shared_ptr<int> Token;
  {
    std::lock_guard Lock(FLock);
    for (const auto& I : FItems)
      if (I->FhWnd == hWnd && I->FMsg == Msg && I->FwParam == wParam && I->FlParam == lParam) return;
    auto Item = std::make_unique<TDebuggerActionQueueItem>();
    Item->FhWnd = hWnd;
    Item->FMsg = Msg;
    Item->FwParam = wParam;
    Item->FlParam = lParam;
    FItems.push_back(std::move(Item));
    if (FItems.size() != 1) return;
    FIdleToken = std::make_shared<int>(0);
    Token = FIdleToken;
  }
  // The idle handler: the main thread drains the queue once it has done what waits before.
  std::weak_ptr<int> Weak = Token;
  std::shared_ptr<bool> Alive = FAlive;
  Queue([this, Weak, Alive] {
    if (!*Alive || Weak.expired()) return;
    InvokeItems();
  });
}

void TDebuggerActionQueue::Clear() {
  std::lock_guard Lock(FLock);
  FIdleToken.reset();
  FItems.clear();
}

void TDebuggerActionQueue::InvokeItems() {
  std::vector<std::unique_ptr<TDebuggerActionQueueItem>> Items;
  {
    std::lock_guard Lock(FLock);
    FIdleToken.reset();
    Items.swap(FItems);
  }
  // Posting runs the targets' handlers; they may add to the queue again, which starts a new
  // round rather than growing this one.
  for (const auto& I : Items)
    if (I->FhWnd) I->FhWnd->HandleMessage(I->FMsg, I->FwParam, I->FlParam);
}

int TDebuggerActionQueue::Count() const {
  std::lock_guard Lock(FLock);
  return static_cast<int>(FItems.size());
}

}  // namespace nxs
