// The unit the areas are given in.
#pragma once

inline const char* AreaUnit() { return "square metres"; }
