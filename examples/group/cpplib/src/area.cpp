#include "shapes.h"

double Area(const Rect& R) { return R.Width * R.Height; }
