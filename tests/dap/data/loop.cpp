// A program for the debug adapter's tests: squares and cubes summed in a loop, its first
// argument and working folder printed, its exit code the number of its arguments. With the
// argument "wait" it waits (at most a minute) to be paused or attached to.
#include <unistd.h>

#include <cstdio>
#include <cstring>

int Square(int N) {
  int Result = N * N;
  return Result;
}

int Cube(int N) {
  return N * N * N;
}

int main(int argc, char** argv) {
  if (argc > 1 && std::strcmp(argv[1], "wait") == 0)
    for (int I = 0; I < 600; ++I) usleep(100000);
  int Total = 0;
  for (int I = 1; I <= 5; ++I) Total += Square(I) + Cube(I);
  char Cwd[4096];
  std::printf("%s %d %s\n", argc > 1 ? argv[1] : "-", Total, getcwd(Cwd, sizeof Cwd) ? Cwd : "?");
  return argc;
}
