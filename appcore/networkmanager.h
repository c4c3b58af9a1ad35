#pragma once

class QObject;

/**
 * Starts the process-wide network manager (its thread and event loop) and
 * ties its end to @p owner: when the owner (the main window) is destroyed the
 * manager stops and its thread is joined, before the program exits.
 */
void startNetworkManager(QObject *owner);
