// Start-up's own texts.
#pragma once

namespace nxs::res {

inline constexpr const char* SSystemAlreadyStarted = "The system is started already; shut it down before starting it again";

}  // namespace nxs::res
