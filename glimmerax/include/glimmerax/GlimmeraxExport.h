#pragma once

// Marks what libglimmerax offers to plug-ins and players. The same attribute serves both sides:
// a user built with hidden visibility must still see these names as coming from the library.
#define GLIMMERAX_EXPORT __attribute__((visibility("default")))
