// Kernel start-up, the lock around every kernel call, and what runs after a script.
#include "editor/buffers/ekinit.h"

#include <algorithm>
#include <thread>
#include <utility>
#include <vector>

#include "editor/buffers/ekcallbacks.h"
#include "editor/buffers/resstrings.h"
#include "shared/format.h"

namespace nxs {

TEdGlobalData EGD;
const char* const EditKernel = "tvseditu.dll";
std::atomic<uint64_t> APICount{0};

namespace {

// The engine linked into the process stands in for the library.
class TBuiltInKernel : public IEditorKernelLibrary {
 public:
  bool Load(const std::string&, std::string&) override { return true; }
  TEkInitProc GetEntry(const std::string& Name) override {
    return Name == "EK_INIT" ? &EK_INIT : nullptr;
  }
  void Free() override {}
};

struct TKernelState {
  std::shared_ptr<IEditorKernelLibrary> Library = std::make_shared<TBuiltInKernel>();
  std::shared_ptr<IEditorKernelLibrary> Loaded;  // the library in use while the kernel runs
  std::function<void(TEkInstance&)> StartupHook;
  int InitCount = 0;
};

TKernelState& State() {
  static TKernelState S;
  return S;
}

std::mutex& StartLock() {
  static std::mutex M;
  return M;
}

// Depth of EkEval calls in progress (on any thread: the kernel lock makes them one at a time).
int EvalDepth = 0;
// The read-only buffer a script of the outermost call failed to change, at any depth.
PEditorBuffer RefusedBuffer = nullptr;

// Work is run by the thread whose script queued it: a background thread that finishes a
// script of its own never runs the main thread's notifications.
struct TAfterEval {
  const void* Owner;
  std::thread::id Thread;
  std::function<void()> Fn;
};
std::mutex AfterEvalLock;
std::vector<TAfterEval> AfterEvalQueue;

void RunAfterEval() {
  // One item at a time, taken off the queue just before it runs: an item may end the owner of
  // a later one (a tracker that goes away with the sync edit that kept it), whose
  // CancelAfterEval must still find that item in the queue.
  const std::thread::id Me = std::this_thread::get_id();
  for (;;) {
    std::function<void()> Fn;
    {
      std::lock_guard<std::mutex> G(AfterEvalLock);
      auto Mine = std::find_if(AfterEvalQueue.begin(), AfterEvalQueue.end(), [&](const TAfterEval& A) { return A.Thread == Me; });
      if (Mine == AfterEvalQueue.end()) return;
      Fn = std::move(Mine->Fn);
      AfterEvalQueue.erase(Mine);
    }
    Fn();
  }
}

}  // namespace

std::recursive_mutex& EkCriticalSection() {
  static std::recursive_mutex M;
  return M;
}

void LockEdModes() { EkCriticalSection().lock(); }
void UnlockEdModes() { EkCriticalSection().unlock(); }

TEvent<TEvEditBufferModified>& EvEditBufferModified() {
  static TEvent<TEvEditBufferModified> E;
  return E;
}

TEvent<TEvEditBufferModified>& EvEditBufferChangeRefused() {
  static TEvent<TEvEditBufferModified> E;
  return E;
}

void SetEditorKernelLibrary(std::shared_ptr<IEditorKernelLibrary> Library) {
  std::lock_guard<std::mutex> G(StartLock());
  State().Library = Library ? std::move(Library) : std::make_shared<TBuiltInKernel>();
}

void SetEditorKernelStartupHook(std::function<void(TEkInstance&)> Hook) {
  std::lock_guard<std::mutex> G(StartLock());
  State().StartupHook = std::move(Hook);
}

bool EditorKernelRunning() {
  std::lock_guard<std::mutex> G(StartLock());
  return EGD.Instance != nullptr;
}

void InitEditorKernel() {
  std::lock_guard<std::mutex> G(StartLock());
  TKernelState& S = State();
  if (S.InitCount > 0) {
    ++S.InitCount;
    return;
  }
  std::shared_ptr<IEditorKernelLibrary> Lib = S.Library;
  std::string Error;
  if (!Lib->Load(EditKernel, Error)) {
    std::string Message = Format(res::SCantLoadEditorKernel, EditKernel);
    if (!Error.empty()) Message += "\n" + Error;
    throw EEditorError(Message);
  }
  try {
    TEkInitProc Entry = Lib->GetEntry("EK_INIT");
    if (!Entry) throw EEditorError(res::SCantGetEkInit);
    TEkInstance* Instance = Entry(EkKernelVersion, EKMALLOC, EKFREE, EKMEMMOVE, EKTOUPPER, EKTOLOWER,
                                  EKISUPPER, EKISWORDCHAR, EKISWHITESPACE, EKISSPECIALCHAR,
                                  EKGETMBCSLENGTH, EKGETCHARWIDTH);
    if (!Instance) throw EEditorError(Format(res::SWrongEditorKernelVersion, EditKernel));
    EGD.Instance = Instance;
    EGD.PreventClearModifyFlag = false;
    if (S.StartupHook) S.StartupHook(*Instance);
  } catch (...) {
    EGD.Instance = nullptr;
    Lib->Free();
    throw;
  }
  S.Loaded = std::move(Lib);
  S.InitCount = 1;
}

void DoneEditorKernel() {
  std::lock_guard<std::mutex> G(StartLock());
  TKernelState& S = State();
  if (S.InitCount == 0) return;
  if (--S.InitCount > 0) return;
  EGD.Instance = nullptr;
  if (S.Loaded) S.Loaded->Free();
  S.Loaded.reset();
}

bool EkNew(PEditorBuffer Share, PEkView View, uint32_t Flags) {
  std::lock_guard<std::recursive_mutex> G(EkCriticalSection());
  ++APICount;
  return EGD.Instance && EGD.Instance->EkNew(Share, View, Flags);
}

uint16_t EkEval(PEkView View, TEdCmd* Script, uint32_t Length) {
  uint16_t Status;
  bool Outermost;
  PEditorBuffer Modified = nullptr;
  PEditorBuffer Refused = nullptr;
  {
    std::lock_guard<std::recursive_mutex> G(EkCriticalSection());
    ++APICount;
    if (!EGD.Instance) return erNoView;
    ++EvalDepth;
    Status = EGD.Instance->EkEval(View, Script, Length);
    if (Status == erReadOnly && View && !RefusedBuffer) RefusedBuffer = View->Editor;
    Outermost = --EvalDepth == 0;
    // Taken under the lock, by the script that finds it: another thread's script, run next,
    // would otherwise tell the same change again, and on that thread.
    if (Outermost && View && View->Editor && (View->Editor->ModifyFlags & mfModifiedNotify)) {
      Modified = View->Editor;
      Modified->ModifyFlags &= static_cast<uint16_t>(~mfModifiedNotify);
    }
    if (Outermost) std::swap(Refused, RefusedBuffer);
  }
  if (!Outermost) return Status;
  if (Modified) {
    TEvEditBufferModified Args(Modified);
    EvEditBufferModified().Send(Args);
  }
  if (Refused) {
    TEvEditBufferModified Args(Refused);
    EvEditBufferChangeRefused().Send(Args);
  }
  RunAfterEval();
  return Status;
}

void EkEnd(PEkView View) {
  std::lock_guard<std::recursive_mutex> G(EkCriticalSection());
  ++APICount;
  if (EGD.Instance) EGD.Instance->EkEnd(View);
}

bool EkBeginPaint(PEkView View, TPaintContext* Context) {
  std::lock_guard<std::recursive_mutex> G(EkCriticalSection());
  ++APICount;
  return EGD.Instance && EGD.Instance->EkBeginPaint(View, Context);
}

bool EkGetLineContents(PEkView View, int32_t Line, TPaintContext* Context) {
  std::lock_guard<std::recursive_mutex> G(EkCriticalSection());
  ++APICount;
  return EGD.Instance && EGD.Instance->EkGetLineContents(View, Line, Context);
}

void NewEditor(PEditorBuffer Share, PEkView View) {
  if (!EkNew(Share, View, 0)) throw EEditorError(res::SCantCreateEditorBuffer);
}

void KillEditor(PEkView View) {
  if (View && View->Editor) EkEnd(View);
}

void QueueAfterEval(const void* Owner, std::function<void()> Fn) {
  std::lock_guard<std::mutex> G(AfterEvalLock);
  AfterEvalQueue.push_back({Owner, std::this_thread::get_id(), std::move(Fn)});
}

void CancelAfterEval(const void* Owner) {
  std::lock_guard<std::mutex> G(AfterEvalLock);
  std::erase_if(AfterEvalQueue, [Owner](const TAfterEval& A) { return A.Owner == Owner; });
}

}  // namespace nxs
