#include "environment/searchprogress.h"

namespace nxs {

void TSearchProgress::Show(std::function<void()> OnCancel) {
  std::lock_guard<std::mutex> G(FLock);
  FVisible = true;
  FFileName.clear();
  FHitCount = 0;
  FOnCancel = std::move(OnCancel);
}

void TSearchProgress::Close() {
  std::lock_guard<std::mutex> G(FLock);
  FVisible = false;
  FOnCancel = nullptr;
}

bool TSearchProgress::Visible() const {
  std::lock_guard<std::mutex> G(FLock);
  return FVisible;
}

std::string TSearchProgress::FileName() const {
  std::lock_guard<std::mutex> G(FLock);
  return FFileName;
}

int32_t TSearchProgress::HitCount() const {
  std::lock_guard<std::mutex> G(FLock);
  return FHitCount;
}

void TSearchProgress::SetFileName(const std::string& Name) {
  std::lock_guard<std::mutex> G(FLock);
  FFileName = Name;
}

void TSearchProgress::SetHitCount(int32_t Count) {
  std::lock_guard<std::mutex> G(FLock);
  FHitCount = Count;
}

void TSearchProgress::Cancel() {
  std::function<void()> Fn;
  {
    std::lock_guard<std::mutex> G(FLock);
    Fn = FOnCancel;
  }
  if (Fn) Fn();
}

TSearchProgress& SearchProgress() {
  static TSearchProgress Progress;
  return Progress;
}

}  // namespace nxs
