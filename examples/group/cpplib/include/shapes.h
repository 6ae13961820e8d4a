// Shapes and their areas.
#pragma once

#include <string>

struct Rect {
  double Width;
  double Height;
};

double Area(const Rect& R);
std::string Describe(const Rect& R);
