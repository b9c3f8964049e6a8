#pragma once

class Core;

// Seams of the TarselUpdater-testing build only; the shipped updater has none of them.

// TARSEL_TEST_FIND_TIMEOUT_MS: the device search gives up after that many milliseconds instead
// of five minutes, so that tests reach the not-found page quickly.
void applyTestSeamsToCore(Core &core);

// TARSEL_TEST_FIRST_FRAME: prints "first-frame-ns N" (steady clock) when the window's first
// frame is on screen; with the value "quit" the process then quits.
void applyTestSeamsToWindow();
