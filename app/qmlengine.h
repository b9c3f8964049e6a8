#pragma once

class QObject;

// Makes Page, ErrorCode and PageNavigator known to QML as the module "TarselUpdater 1.0".
// Process-wide; a second call changes nothing.
void registerQmlTypes();

// Builds the application's QML engine (left alive to the end of the process), registers the
// module, installs the image provider "data", publishes core as "core" and loads the main window.
// Reports nothing: errors in the documents go to the message log through the engine.
void setupQmlEngine(QObject *core);
