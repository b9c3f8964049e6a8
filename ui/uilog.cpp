#include "uilog.h"

Q_LOGGING_CATEGORY(uiLog, "tarsel.ui", QtWarningMsg)
