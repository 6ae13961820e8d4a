// The notifiers a plug-in adds to an object: Add gives the index that Remove takes, and the
// slot of a removed notifier is given to the next one added.
#pragma once

#include <memory>
#include <vector>

namespace nxs {

template <class T>
class TNotifierList {
 public:
  int Add(std::shared_ptr<T> Notifier) {
    for (size_t I = 0; I < FItems.size(); ++I)
      if (!FItems[I]) {
        FItems[I] = std::move(Notifier);
        return static_cast<int>(I);
      }
    FItems.push_back(std::move(Notifier));
    return static_cast<int>(FItems.size()) - 1;
  }
  void Remove(int Index) {
    if (Index >= 0 && static_cast<size_t>(Index) < FItems.size()) FItems[static_cast<size_t>(Index)].reset();
  }
  // Calls Fn with each notifier, from a copy of the list: a notifier may remove itself.
  template <class TFn>
  void Notify(TFn&& Fn) const {
    const auto Copy = FItems;
    for (const auto& N : Copy)
      if (N) Fn(*N);
  }

 private:
  std::vector<std::shared_ptr<T>> FItems;
};

}  // namespace nxs
