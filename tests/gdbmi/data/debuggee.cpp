// The program the gdb kernel's tests debug; its first argument chooses what it does.
// Tests find their lines by the markers "@name" in comments.
#include <dlfcn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <stdexcept>
#include <string>
#include <thread>

int Counter = 0;

int Square(int N) {
  int Result = N * N;  // @square: a breakpoint in a called function
  return Result;
}

int Check(int N) {
  if (N % 2 == 0) throw std::runtime_error("even");  // @throw
  return N;
}

void Tick(int I) {
  Counter += I;  // @tick: a hot line
}

int main(int argc, char** argv) {
  const std::string Mode = argc > 1 ? argv[1] : "";
  if (Mode == "mi") {
    // Output that looks like gdb's own records must stay the program's output.
    std::printf("^done,value=\"1\"\n*stopped,reason=\"exited\",exit-code=\"0\"\n(gdb) \n");
    return 3;
  }
  if (Mode == "flood") {
    static char Block[65536];
    std::memset(Block, 'x', sizeof Block);
    const long Megabytes = argc > 2 ? std::atol(argv[2]) : 1;
    for (long I = 0; I < Megabytes * 16; ++I) (void)!write(1, Block, sizeof Block);
    return 0;
  }
  if (Mode == "wait") {
    while (true) pause();
  }
  if (Mode == "crash") {
    int* Nowhere = nullptr;
    *Nowhere = 1;  // @fault
    return 0;
  }
  if (Mode == "threads") {
    std::thread T([] { Square(7); });
    T.join();
    const pid_t Child = fork();
    if (Child == 0) _exit(Square(2));
    int Status = 0;
    waitpid(Child, &Status, 0);
    return WEXITSTATUS(Status);
  }
  if (Mode == "plugin") {
    // A library loaded late: a breakpoint in it waits until it is there.
    void* Library = dlopen(argv[2], RTLD_NOW);
    if (!Library) return 2;
    auto Cube = reinterpret_cast<int (*)(int)>(dlsym(Library, "PluginCube"));
    return Cube ? Cube(2) : 2;
  }
  if (Mode == "hot") {
    const int Count = argc > 2 ? std::atoi(argv[2]) : 10;
    for (int I = 0; I < Count; ++I) Tick(I);
    return Counter % 100;
  }
  if (Mode == "throw") {
    // Two exceptions, each caught: the exit code counts them.
    int Caught = 0;
    for (int I = 1; I <= 4; ++I) {
      try {
        Check(I);  // @check
      } catch (const std::exception&) {
        ++Caught;  // @caught
      }
    }
    return Caught;
  }
  int Total = 0;
  for (int I = 1; I <= 4; ++I) Total += Square(I);  // @loop
  std::printf("total %d\n", Total);  // @print
  return Total == 30 ? 0 : 1;  // @return
}
