#pragma once

class QMainWindow;

/**
 * Starts the process-wide network manager (its thread and event loop) and
 * ties its end to @p window: when the window is destroyed the manager stops
 * and its thread is joined, before the program exits.
 */
void startNetworkManager(QMainWindow *window);
