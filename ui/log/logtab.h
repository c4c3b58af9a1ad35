#pragma once

#include "common/sessionbinding.h"

#include <QWidget>

class IPCObject;
class LogLine;
class QAbstractButton;

namespace Ui {
class LogTab;
}

/**
 * The "Log" tab: the selected device's event log, oldest line first, followed
 * live; "Reset" empties the device's log, "Save" writes the view to a text
 * file.
 */
class LogTab : public QWidget
{
    Q_OBJECT

public:
    explicit LogTab(QWidget *parent = nullptr);
    ~LogTab() override;

    /** Shows the log of @p session (or none): the view is rebuilt from its stored lines. */
    void setSession(IPCObject *session);
    /** Enables or disables "Reset" and "Save". */
    void setButtonsEnabled(bool enabled);

    /** Writes @p text to @p path as the log's text file; false when it cannot be opened. */
    static bool writeLogFile(const QString &path, const QString &text);
    /** The chosen log file name with ".txt" appended unless it already ends so (any case). */
    static QString logFileName(const QString &chosen);

public slots:
    /** Appends one line's text at the end of the view. */
    void append(const LogLine &line);
    void handleButtonPress(QAbstractButton *button);
    /** "Reset": empties the device's stored lines and the view. */
    void reset();
    /** "Save": writes the view's text to a file the user chooses. */
    void save();

private:
    void reload();

    Ui::LogTab *m_ui;
    SessionBinding m_binding;
};
