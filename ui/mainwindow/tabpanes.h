#pragma once

#include "common/sessionbinding.h"

#include <QObject>
#include <QPointer>

class IPCObject;
class LogTab;
class MeterPane;
class QTabWidget;
class QWidget;
class SettingsEdit;
class StatsTab;
class WeftlineStats;

/**
 * The panes of the tabs after "Connections": "statsPane", "settingsEdit",
 * "weftlineView", "logPane" and "meterPane", placed in their tab pages. They
 * are built together on first need: build(), their tab opened, a pane asked
 * for, or the shown device pushing what only a built pane keeps (levels, a
 * tunnel's statistics). Until then the device and the enabling are kept and
 * handed to the panes when they are built; everything else a pane reads
 * from its device when it is given it, so building late loses nothing.
 */
class TabPanes : public QObject
{
    Q_OBJECT

public:
    /** The tab pages the panes fill (each with an empty layout). */
    struct Pages {
        QTabWidget *tabs = nullptr;
        QWidget *stats = nullptr;
        QWidget *settings = nullptr;
        QWidget *weftline = nullptr;
        QWidget *log = nullptr;
        QWidget *meters = nullptr;
    };

    explicit TabPanes(const Pages &pages, QObject *parent = nullptr);

    /** Builds the panes now, unless they are built already. */
    void build();
    /** Builds the panes once @p window has been painted (or earlier, when first needed). */
    void buildAfterFirstPaint(QWidget *window);
    bool isBuilt() const { return m_stats != nullptr; }

    // Each builds the panes first.
    StatsTab &stats();
    SettingsEdit &settings();
    WeftlineStats &weftline();
    LogTab &log();
    MeterPane &meters();

    /** Hands @p session (or none) to every pane, or keeps it for when they are built. */
    void setSession(IPCObject *session);
    /** Log buttons and settings editor (@p ready), statistics table (@p connections); kept likewise. */
    void setEnabled(bool ready, bool connections);
    /** Whether a row of the statistics table is current (none before the panes exist). */
    bool hasCurrentStatsRow() const;

signals:
    /** The panes exist now, with the device and the enabling of the moment. */
    void built();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    /** @p pane once the panes are built. */
    template <typename Pane>
    Pane &builtPane(Pane *const &pane);
    void buildOnFirstPush(IPCObject *session);
    void applyEnabled();

    Pages m_pages;
    QWidget *m_paintedWindow = nullptr;
    StatsTab *m_stats = nullptr;
    SettingsEdit *m_settings = nullptr;
    WeftlineStats *m_weftline = nullptr;
    LogTab *m_log = nullptr;
    MeterPane *m_meters = nullptr;
    QPointer<IPCObject> m_session;
    SessionBinding m_waiting; // the shown device, until it pushes levels or a tunnel
    bool m_ready = false;
    bool m_connections = false;
};
