#pragma once

// Marks the plug-in's interface: getSoundSystem and the classes the host uses. The library is
// built with hidden visibility, so nothing without this mark leaves it.
#define BELVANE_EXPORT __attribute__((visibility("default")))
