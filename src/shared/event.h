// TEvent: the notifier that subsystems use in place of calling their observers. Handlers
// are a subscriber's method (object and member function) or a function registered under
// an owner token; the pair is the handler's identity, so adding it twice keeps one entry.
#pragma once

#include <array>
#include <cstring>
#include <functional>
#include <memory>
#include <vector>

namespace nxs {

// Base of the TEv... argument classes.
class TEvArgs {
 public:
  virtual ~TEvArgs() = default;
};

enum class TEventOrder { FirstToLast, LastToFirst };

template <class TArgs>
class TEvent {
 public:
  using THandlerFn = std::function<void(TArgs&)>;

  explicit TEvent(TEventOrder Order = TEventOrder::FirstToLast) : FOrder(Order) {}
  TEvent(const TEvent&) = delete;  // subscribers hold its identity
  TEvent& operator=(const TEvent&) = delete;

  template <class TObj>
  void Add(TObj* Object, void (TObj::*Method)(TArgs&)) {
    Add(MakeKey(Object, Method), [Object, Method](TArgs& A) { (Object->*Method)(A); });
  }
  template <class TObj>
  void Remove(TObj* Object, void (TObj::*Method)(TArgs&)) {
    Remove(MakeKey(Object, Method));
  }
  template <class TObj>
  int IndexOf(TObj* Object, void (TObj::*Method)(TArgs&)) const {
    return IndexOf(MakeKey(Object, Method));
  }

  // A function handler; Owner names it for IndexOf and Remove.
  void Add(const void* Owner, THandlerFn Fn) { Add(MakeKey(Owner), std::move(Fn)); }
  void Remove(const void* Owner) { Remove(MakeKey(Owner)); }
  int IndexOf(const void* Owner) const { return IndexOf(MakeKey(Owner)); }

  int Count() const { return static_cast<int>(FHandlers.size()); }

  // Calls every handler. A handler may add or remove handlers, itself included, while it
  // is called: removed handlers that have not been called yet are skipped, added ones wait
  // for the next Send.
  void Send(TArgs& Args) {
    std::vector<std::shared_ptr<THandler>> Snapshot = FHandlers;
    if (FOrder == TEventOrder::LastToFirst) {
      for (auto It = Snapshot.rbegin(); It != Snapshot.rend(); ++It)
        if ((*It)->Alive) (*It)->Fn(Args);
    } else {
      for (auto& H : Snapshot)
        if (H->Alive) H->Fn(Args);
    }
  }

 private:
  using TKey = std::array<unsigned char, sizeof(void*) + 2 * sizeof(void*)>;
  struct THandler {
    TKey Key;
    THandlerFn Fn;
    bool Alive = true;
  };

  template <class TObj, class TMethod>
  static TKey MakeKey(TObj* Object, TMethod Method) {
    static_assert(sizeof(TMethod) <= 2 * sizeof(void*));
    TKey K{};
    const void* P = Object;
    std::memcpy(K.data(), &P, sizeof P);
    std::memcpy(K.data() + sizeof P, &Method, sizeof Method);
    return K;
  }
  static TKey MakeKey(const void* Owner) {
    TKey K{};
    std::memcpy(K.data(), &Owner, sizeof Owner);
    return K;
  }

  void Add(const TKey& Key, THandlerFn Fn) {
    if (IndexOf(Key) >= 0) return;
    auto H = std::make_shared<THandler>();
    H->Key = Key;
    H->Fn = std::move(Fn);
    FHandlers.push_back(std::move(H));
  }
  void Remove(const TKey& Key) {
    int I = IndexOf(Key);
    if (I < 0) return;
    FHandlers[I]->Alive = false;
    FHandlers.erase(FHandlers.begin() + I);
  }
  int IndexOf(const TKey& Key) const {
    for (size_t I = 0; I < FHandlers.size(); ++I)
      if (FHandlers[I]->Key == Key) return static_cast<int>(I);
    return -1;
  }

  TEventOrder FOrder;
  std::vector<std::shared_ptr<THandler>> FHandlers;
};

}  // namespace nxs
