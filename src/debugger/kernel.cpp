// The names of the process states.
#include "debugger/kernel.h"

namespace nxs {

const char* ProcessStateName(TOTAProcessState State) {
  switch (State) {
    case psCreated: return "created";
    case psRunning: return "running";
    case psStepping: return "stepping";
    case psStopping: return "stopping";
    case psStopped: return "stopped";
    case psFault: return "fault";
    case psException: return "exception";
    case psTerminated: return "terminated";
    case psNoProcess: return "no process";
  }
  return "no process";
}

}  // namespace nxs
