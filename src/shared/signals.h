// The process's one handler of the signals that end a program politely (SIGTERM, SIGINT,
// SIGHUP). It removes the temporary files of writes in progress, so that an interrupted save
// leaves nothing beside the file it was replacing, and then either hands the signal to a
// cancel hook (a build stops its tools instead of the program dying) or lets the signal end
// the program as it would have without the handler.
//
// Everything the handler touches is fixed in size and set up before a signal can need it:
// registering a file copies its name into a slot of a static table, and the handler only
// reads the table, unlinks and re-raises, all of which are async-signal-safe.
#pragma once

namespace nxs {

// Installs the handler for SIGTERM, SIGINT and SIGHUP once; later calls do nothing. A signal
// the process ignored when the handler was installed stays ignored (the files are left to the
// save that goes on), and one that had a handler of its own goes on to that handler when no
// cancel hook is set. Registering a file or a hook installs the handler too. Code that wants
// to act on these signals sets a cancel hook rather than a handler of its own, which would
// put this one out of action.
void InstallSignalHandlers();

// Marks Path as a temporary file to remove when one of the signals arrives; returns the slot
// to give back, or -1 when the table is full or the name too long (the file is then simply
// not removed). Path is copied.
[[nodiscard]] int RegisterTempFile(const char* Path);
// Ends the registration (the file was renamed into place or removed). -1 is ignored.
void UnregisterTempFile(int Slot);

// Called from the handler, after the temporary files are gone, in place of ending the
// program; it must be async-signal-safe (set a flag, write to a pipe). A hook that wants a
// second signal to end the program removes itself. Returns the hook it replaced.
using TSignalCancelHook = void (*)(int Signal);
TSignalCancelHook SetSignalCancelHook(TSignalCancelHook Hook);

// While one of these lives (on any thread), the signals wait: the handler notes them and does
// nothing else, and the last one to go acts on the first that came. For the few steps that
// must not be cut in the middle, such as rewriting a file in place.
class THoldSignals {
 public:
  THoldSignals();
  ~THoldSignals();
  THoldSignals(const THoldSignals&) = delete;  // one hold, released once
  THoldSignals& operator=(const THoldSignals&) = delete;
};

}  // namespace nxs
