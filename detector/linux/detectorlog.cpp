#include "detectorlog.h"

Q_LOGGING_CATEGORY(lcDetector, "tarsel.detector", QtInfoMsg)
