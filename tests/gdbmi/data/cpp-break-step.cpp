#include <cstdio>
#include <thread>
struct P { int x; const char* s; };
int add(int a, int b) {
  int r = a + b;
  return r;
}
int main(int argc, char** argv) {
  P p{3, "a\"b\\c\n\t\x01"};
  int sum = 0;
  for (int i = 0; i < 5; ++i) sum = add(sum, i);
  std::printf("sum %d\n", sum);
  std::thread t([]{ std::puts("thread"); });
  t.join();
  int* z = nullptr;
  if (argc > 1) *z = 1;
  return sum + p.x;
}
