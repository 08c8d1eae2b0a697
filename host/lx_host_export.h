#pragma once

// Export macro shared by the four host libraries. Each library defines its own
// LX_BUILDING_<NAME> while it is being built.
#if defined(_WIN32)
#define LX_HOST_EXPORT __declspec(dllexport)
#define LX_HOST_IMPORT __declspec(dllimport)
#else
#define LX_HOST_EXPORT __attribute__((visibility("default")))
#define LX_HOST_IMPORT __attribute__((visibility("default")))
#endif
