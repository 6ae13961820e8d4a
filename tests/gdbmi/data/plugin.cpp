// A library the test program loads while it runs.
// Tests find their lines by the markers "@name" in comments.
extern "C" int PluginCube(int N) {
  int Result = N * N * N;  // @cube
  return Result;
}
