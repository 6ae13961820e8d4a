// Test support for the environment options: options over a settings store in a scratch
// directory.
#pragma once

#include <string>

#include "options/envoptions.h"
#include "shared/settings.h"
#include "support/errorof.h"
#include "support/tempdir.h"

namespace nxs::test {


struct TOptionsFixture {
  TTempDir Dir;
  TSettingsStore Store{Dir / "settings.ini"};
  TEnvironmentOptions Options{Store};
};

}  // namespace nxs::test
