#pragma once

#include <string>

namespace belvane {

// Writes one diagnostic line to the host's OGRE log at normal level. A host that has not
// created the log gets no message rather than a crash.
void logNormal(const std::string& message);

}  // namespace belvane
