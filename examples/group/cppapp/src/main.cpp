#include <cstdio>

#include "shapes.h"

int main() {
  const Rect R{3, 4};
  std::printf("%s\n", Describe(R).c_str());
  return 0;
}
