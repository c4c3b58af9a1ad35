#pragma once

/**
 * The window's three alert switches, handed to the alert handler as a value
 * so that it never reads the window.
 */
struct AlertSwitches
{
    /** "Play Connection Alerts". */
    bool connectionAlerts = false;
    /** "Enable the Default Alert Sounds": built-in sounds where a device has no file. */
    bool defaultSounds = false;
    /** "Enable Alert Emails". */
    bool alertEmails = false;

    bool operator==(const AlertSwitches &o) const
    {
        return connectionAlerts == o.connectionAlerts && defaultSounds == o.defaultSounds
            && alertEmails == o.alertEmails;
    }
    bool operator!=(const AlertSwitches &o) const { return !(*this == o); }
};
