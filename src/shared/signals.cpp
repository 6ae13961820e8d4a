#include "shared/signals.h"

#include <pthread.h>
#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <climits>
#include <cstring>
#include <mutex>

namespace nxs {

namespace {

constexpr int HandledSignals[] = {SIGTERM, SIGINT, SIGHUP};
constexpr int SignalCount = sizeof HandledSignals / sizeof HandledSignals[0];

// A slot's word holds its state in the low two bits and, above them, a count of its uses: the
// handler copies a name and then checks that the word did not change meanwhile, so that it
// never unlinks a name that another thread was writing into a freed slot.
constexpr unsigned SlotFree = 0, SlotFilling = 1, SlotReady = 2, StateMask = 3, UseStep = 4;
constexpr int SlotCount = 64;

struct TSlot {
  std::atomic<unsigned> Word{SlotFree};
  // The process that registered the name: a child between fork and exec inherits the table
  // but not the files, and must leave them to their owner.
  pid_t Owner;
  char Name[PATH_MAX];
};

TSlot Slots[SlotCount];
std::atomic<TSignalCancelHook> CancelHook{nullptr};
std::atomic<int> Holds{0};
std::atomic<int> PendingSignal{0};
struct sigaction Previous[SignalCount];

void RemoveTempFiles() {
  char Name[PATH_MAX];
  const pid_t Me = ::getpid();
  for (TSlot& S : Slots) {
    const unsigned Before = S.Word.load(std::memory_order_acquire);
    if ((Before & StateMask) != SlotReady || S.Owner != Me) continue;
    std::memcpy(Name, S.Name, sizeof Name);
    Name[sizeof Name - 1] = '\0';
    if (S.Word.load(std::memory_order_acquire) != Before) continue;
    ::unlink(Name);
  }
}

int IndexOf(int Signal) {
  for (int I = 0; I < SignalCount; ++I)
    if (HandledSignals[I] == Signal) return I;
  return -1;
}

// What the signal does once the files are gone: the hook, the handler the process had before,
// or the default action (which ends the program).
void Act(int Signal) {
  RemoveTempFiles();
  if (TSignalCancelHook Hook = CancelHook.load()) {
    Hook(Signal);
    return;
  }
  const int I = IndexOf(Signal);
  if (I >= 0) {
    const struct sigaction& Before = Previous[I];
    if (Before.sa_flags & SA_SIGINFO) {
      if (Before.sa_sigaction) {
        Before.sa_sigaction(Signal, nullptr, nullptr);
        return;
      }
    } else if (Before.sa_handler != SIG_DFL && Before.sa_handler != SIG_IGN) {
      Before.sa_handler(Signal);
      return;
    }
  }
  struct sigaction Default {};
  Default.sa_handler = SIG_DFL;
  sigemptyset(&Default.sa_mask);
  ::sigaction(Signal, &Default, nullptr);
  sigset_t Unblock;
  sigemptyset(&Unblock);
  sigaddset(&Unblock, Signal);
  ::pthread_sigmask(SIG_UNBLOCK, &Unblock, nullptr);
  ::raise(Signal);
}

extern "C" void OnSignal(int Signal) {
  const int SavedErrno = errno;
  if (Holds.load() > 0) {
    int None = 0;
    PendingSignal.compare_exchange_strong(None, Signal);
  } else {
    Act(Signal);
  }
  errno = SavedErrno;
}

}  // namespace

void InstallSignalHandlers() {
  static std::once_flag Once;
  std::call_once(Once, [] {
    struct sigaction Handler {};
    Handler.sa_handler = OnSignal;
    sigemptyset(&Handler.sa_mask);
    for (int S : HandledSignals) sigaddset(&Handler.sa_mask, S);
    Handler.sa_flags = SA_RESTART;
    for (int I = 0; I < SignalCount; ++I) {
      // A signal the process was told to ignore (nohup) goes on being ignored: removing the
      // file of a save that then carries on would make the save fail.
      if (::sigaction(HandledSignals[I], nullptr, &Previous[I]) != 0) continue;
      if (!(Previous[I].sa_flags & SA_SIGINFO) && Previous[I].sa_handler == SIG_IGN) continue;
      ::sigaction(HandledSignals[I], &Handler, nullptr);
    }
  });
}

int RegisterTempFile(const char* Path) {
  InstallSignalHandlers();
  const size_t Length = std::strlen(Path);
  if (Length >= PATH_MAX) return -1;
  for (int I = 0; I < SlotCount; ++I) {
    TSlot& S = Slots[I];
    unsigned Word = S.Word.load();
    if ((Word & StateMask) != SlotFree) continue;
    const unsigned Uses = Word & ~StateMask;
    if (!S.Word.compare_exchange_strong(Word, Uses | SlotFilling)) continue;
    std::memcpy(S.Name, Path, Length + 1);
    S.Owner = ::getpid();
    S.Word.store(Uses | SlotReady, std::memory_order_release);
    return I;
  }
  return -1;
}

void UnregisterTempFile(int Slot) {
  if (Slot < 0 || Slot >= SlotCount) return;
  TSlot& S = Slots[Slot];
  S.Word.store(((S.Word.load() & ~StateMask) + UseStep) | SlotFree, std::memory_order_release);
}

TSignalCancelHook SetSignalCancelHook(TSignalCancelHook Hook) {
  InstallSignalHandlers();
  return CancelHook.exchange(Hook);
}

THoldSignals::THoldSignals() { Holds.fetch_add(1); }

THoldSignals::~THoldSignals() {
  if (Holds.fetch_sub(1) != 1) return;
  if (const int Signal = PendingSignal.exchange(0)) Act(Signal);
}

}  // namespace nxs
