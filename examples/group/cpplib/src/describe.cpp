#include <sstream>

#include "shapes.h"
#include "units.h"

std::string Describe(const Rect& R) {
  std::ostringstream S;
  S << R.Width << " x " << R.Height << " = " << Area(R) << " " << AreaUnit();
  return S.str();
}
