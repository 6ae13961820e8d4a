// Test support for the environment options: options over a settings store in a scratch
// directory, and the message of the option error a call raises.
#pragma once

#include <functional>
#include <string>

#include "environment/options/envoptions.h"
#include "shared/settings.h"
#include "shared/testdir.h"

namespace nxs::test {

inline std::string ErrorOf(const std::function<void()>& Fn) {
  try {
    Fn();
  } catch (const EOptionError& E) {
    return E.what();
  }
  return "(no error)";
}

struct TOptionsFixture {
  TTempDir Dir;
  TSettingsStore Store{Dir / "settings.ini"};
  TEnvironmentOptions Options{Store};
};

}  // namespace nxs::test
