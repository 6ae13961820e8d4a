// Kept for the suites that still include it; new code includes "support/tempdir.h".
#pragma once

#include "support/tempdir.h"
