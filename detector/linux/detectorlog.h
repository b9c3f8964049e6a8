#pragma once

#include <QLoggingCategory>

// What the Linux detector saw and why it took or left it, for support cases. Off unless asked
// for: QT_LOGGING_RULES="tarsel.detector.debug=true".
Q_DECLARE_LOGGING_CATEGORY(lcDetector)
