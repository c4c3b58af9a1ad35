#pragma once

// The settings editor's two ties to a device session: what it reads from the
// session's cache, and how its save requests reach the codec.

#include "settingsmodel.h"

class IPCObject;
class Message;

/** Copies of the records the settings editor needs, and the peers while the session is ready. */
SettingsSources settingsSources(IPCObject *session);

/**
 * Sends one request of the settings editor to @p session: "setSysOptions",
 * "setDirectoryServer", "setChannelSettings" or "cfgSetOption" (a bare
 * "sysOptions" or "directoryServer" is renamed first). Other names are
 * logged and dropped. Returns whether anything was sent.
 */
bool sendUpdatedSettings(IPCObject *session, const Message &request);
