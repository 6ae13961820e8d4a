// Starting and stopping the editor kernel, and the serialised entries through which every
// call reaches it: one process-wide lock, a call counter, and the buffer-modified event.
#pragma once

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <string>

#include "editor/kernel/ek.h"
#include "shared/event.h"
#include "shared/exceptions.h"

namespace nxs {

class EEditorError : public Exception {
 public:
  using Exception::Exception;
};

struct TEdGlobalData {
  TEkInstance* Instance = nullptr;
  bool PreventClearModifyFlag = false;
};
extern TEdGlobalData EGD;

// The library name the kernel is known by.
extern const char* const EditKernel;

using TEkInitProc = decltype(&EK_INIT);

// Where the kernel comes from. The default is the engine built into the process; tests
// supply libraries that fail to load or lack the entry.
class IEditorKernelLibrary {
 public:
  virtual ~IEditorKernelLibrary() = default;
  // False with the system's error text when the library cannot be loaded.
  virtual bool Load(const std::string& Name, std::string& Error) = 0;
  // The named entry, or nullptr.
  virtual TEkInitProc GetEntry(const std::string& Name) = 0;
  virtual void Free() = 0;
};
void SetEditorKernelLibrary(std::shared_ptr<IEditorKernelLibrary> Library);

// Run once by the first InitEditorKernel, after the kernel answered: the highlighters
// register their tokenizers here. Start-up sets it before the first editor opens.
void SetEditorKernelStartupHook(std::function<void(TEkInstance&)> Hook);

// Reference-counted: the first call starts the kernel, every call counts. Raises
// EEditorError when the kernel cannot be loaded or refuses the version.
void InitEditorKernel();
// The last call stops the kernel.
void DoneEditorKernel();
bool EditorKernelRunning();

// Joins View to the buffer Share (nullptr: a new empty buffer). Raises EEditorError.
void NewEditor(PEditorBuffer Share, PEkView View);
// Ends the view; nothing happens when it has no buffer.
void KillEditor(PEkView View);

// The wrapped entries: each holds the kernel lock for the call.
bool EkNew(PEditorBuffer Share, PEkView View, uint32_t Flags);
uint16_t EkEval(PEkView View, TEdCmd* Script, uint32_t Length);
void EkEnd(PEkView View);
bool EkBeginPaint(PEkView View, TPaintContext* Context);
bool EkGetLineContents(PEkView View, int32_t Line, TPaintContext* Context);

// Kernel calls made so far.
extern std::atomic<uint64_t> APICount;

// The lock that serialises the kernel; LockEdModes/UnlockEdModes hold it around reads and
// writes of kernel state (edit modes, flags) outside a script.
std::recursive_mutex& EkCriticalSection();
void LockEdModes();
void UnlockEdModes();
class TEdModesLock {
 public:
  TEdModesLock() { LockEdModes(); }
  ~TEdModesLock() { UnlockEdModes(); }
  TEdModesLock(const TEdModesLock&) = delete;  // one lock, one release
  TEdModesLock& operator=(const TEdModesLock&) = delete;
};

// Sent after a script that left a buffer with ModifyFlags bit 2 (mfModifiedNotify) set; the
// bit is cleared as the event goes, so that each change is told once.
class TEvEditBufferModified : public TEvArgs {
 public:
  explicit TEvEditBufferModified(PEditorBuffer Buffer) : Buffer(Buffer) {}
  PEditorBuffer Buffer;
};
TEvent<TEvEditBufferModified>& EvEditBufferModified();
// Sent after a script in which a change was refused because the buffer is read-only
// (LockRefCount above 0): the kernel drops such a change without a word, and the user must be
// told. Sent once per outermost script, on the thread that ran it.
TEvent<TEvEditBufferModified>& EvEditBufferChangeRefused();

// Work that must not run while the kernel is inside a script (tracker notifications, which
// may call the kernel again): queued during a script, run when the outermost EkEval of the
// same thread returns.
void QueueAfterEval(const void* Owner, std::function<void()> Fn);
// Drops what Owner queued (it is going away).
void CancelAfterEval(const void* Owner);

}  // namespace nxs
