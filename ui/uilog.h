#pragma once

#include <QLoggingCategory>

// The window's category, "tarsel.ui", silent unless enabled: end-to-end tests follow the pages,
// the repeated keys and the window's fit through it.
Q_DECLARE_LOGGING_CATEGORY(uiLog)
