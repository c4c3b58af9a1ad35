#pragma once

class QMainWindow;

/**
 * Starts the network manager's thread. The manager stops when @p window is
 * destroyed, so the thread is finished before the program exits.
 */
void startNetworkManager(QMainWindow *window);
