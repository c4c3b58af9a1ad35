#pragma once

#include <functional>

class QApplication;

/** Every widget uses Arial unless a later style sheet says otherwise. */
extern const char *const kApplicationStyleSheet;

/** Registers the types that cross threads in queued signals: "Message", "LogLine", "QV_EVENT". */
void registerMetaTypes();

/**
 * Makes sure the application data folder exists. When it cannot be created,
 * a modal "Can't create file directory" box says so and start-up goes on.
 * Returns whether the folder exists.
 */
bool ensureAppFolderOrReport();

/**
 * Runs @p steps and returns their result. An exception that escapes them is
 * logged as critical and gives 1; the objects the steps created have been
 * cleaned up by then, as after a normal exit.
 */
int runGuarded(const std::function<int()> &steps);

/**
 * The program, once the application object exists: style sheet, meta types,
 * shared icons, application data folder, main window, network manager, event
 * loop. Returns the process exit code.
 */
int runQuorvane(QApplication &app);
