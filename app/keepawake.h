#pragma once

// Keeps the computer and the display awake for as long as the process runs. Never fails and
// never waits: where the platform offers no way, nothing happens.
void keepSystemAwake();
