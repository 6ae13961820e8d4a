// The progress window's model of a running search.
#pragma once

#include <cstdint>
#include <functional>
#include <mutex>
#include <string>

namespace nxs {

// The progress window's model: the file being searched and the hits so far, and the Cancel
// that asks the running search to stop. The search writes it; the window reads it.
class TSearchProgress {
 public:
  void Show(std::function<void()> OnCancel);
  void Close();
  bool Visible() const;
  std::string FileName() const;
  int32_t HitCount() const;
  void SetFileName(const std::string& Name);
  void SetHitCount(int32_t Count);
  // The window's Cancel button.
  void Cancel();

 private:
  mutable std::mutex FLock;
  bool FVisible = false;
  std::string FFileName;
  int32_t FHitCount = 0;
  std::function<void()> FOnCancel;
};
TSearchProgress& SearchProgress();

}  // namespace nxs
