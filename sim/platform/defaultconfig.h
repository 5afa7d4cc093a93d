#pragma once

// The demo configuration (default-config.json), built into the program so that it serves the
// demo from any working folder.
extern const char *const kDefaultConfig;
