#include "tabpanes.h"

#include "ipcobject.h"
#include "log/logtab.h"
#include "meters/meterpane.h"
#include "meters/monitoringmeter.h"
#include "settings/settingsedit.h"
#include "stats/statstab.h"
#include "tunnelinfo.h"
#include "weftline/weftlinestats.h"

#include <QEvent>
#include <QLayout>
#include <QTabWidget>
#include <QTableWidget>
#include <QTimer>

namespace {

template <typename Pane>
Pane *place(QWidget *page, const char *name)
{
    auto *pane = new Pane(page);
    pane->setObjectName(QString::fromLatin1(name));
    page->layout()->addWidget(pane);
    // A layout shows a late child of a visible page only in a later turn of the event loop.
    if (page->isVisible())
        pane->show();
    return pane;
}

} // namespace

TabPanes::TabPanes(const Pages &pages, QObject *parent)
    : QObject(parent)
    , m_pages(pages)
{
    // Tab 0, "Connections", is built with the window; every other tab shows one of these panes.
    connect(m_pages.tabs, &QTabWidget::currentChanged, this, [this](int index) {
        if (index > 0)
            build();
    });
}

void TabPanes::build()
{
    if (isBuilt())
        return;
    m_waiting.unbind();
    m_stats = place<StatsTab>(m_pages.stats, "statsPane");
    m_settings = place<SettingsEdit>(m_pages.settings, "settingsEdit");
    m_weftline = place<WeftlineStats>(m_pages.weftline, "weftlineView");
    m_log = place<LogTab>(m_pages.log, "logPane");
    m_meters = place<MeterPane>(m_pages.meters, "meterPane");
    applyEnabled();
    setSession(m_session);
    emit built();
}

void TabPanes::buildAfterFirstPaint(QWidget *window)
{
    m_paintedWindow = window;
    window->installEventFilter(this);
}

bool TabPanes::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == m_paintedWindow && event->type() == QEvent::Paint) {
        m_paintedWindow->removeEventFilter(this);
        // The window is on screen: the panes follow in the next turn of the event loop.
        QTimer::singleShot(0, this, &TabPanes::build);
    }
    return QObject::eventFilter(watched, event);
}

template <typename Pane>
Pane &TabPanes::builtPane(Pane *const &pane)
{
    build();
    return *pane;
}

StatsTab &TabPanes::stats() { return builtPane(m_stats); }
SettingsEdit &TabPanes::settings() { return builtPane(m_settings); }
WeftlineStats &TabPanes::weftline() { return builtPane(m_weftline); }
LogTab &TabPanes::log() { return builtPane(m_log); }
MeterPane &TabPanes::meters() { return builtPane(m_meters); }

void TabPanes::setSession(IPCObject *session)
{
    m_session = session;
    if (!isBuilt()) {
        buildOnFirstPush(session);
        return;
    }
    m_stats->setSession(session);
    m_settings->setSession(session);
    m_weftline->setDevice(session);
    m_log->setSession(session);
    m_meters->setSession(session);
}

void TabPanes::buildOnFirstPush(IPCObject *session)
{
    if (!m_waiting.bind(session) || !session)
        return;
    // A tunnel that is up pushes its statistics into graphs only a built pane has.
    TunnelInfo *tunnel = session->tunnelInfo();
    if (tunnel->session()) {
        build();
        return;
    }
    // Made before its first statistics are pushed.
    m_waiting << connect(tunnel, &TunnelInfo::sessionCreate, this, &TabPanes::build)
              << connect(session, &IPCObject::recvAllLevels, this,
                         [this](float rxl, float rxr, float txl, float txr, float rxlPeak, float rxrPeak,
                                float txlPeak, float txrPeak) {
                             build();
                             // The meter listens from now on: this sample has to be handed over.
                             m_meters->meter()->allLevels(rxl, rxr, txl, txr, rxlPeak, rxrPeak, txlPeak, txrPeak);
                         });
}

void TabPanes::setEnabled(bool ready, bool connections)
{
    m_ready = ready;
    m_connections = connections;
    if (isBuilt())
        applyEnabled();
}

void TabPanes::applyEnabled()
{
    m_log->setButtonsEnabled(m_ready);
    m_settings->setEnabled(m_ready);
    m_stats->table()->setEnabled(m_connections);
}

bool TabPanes::hasCurrentStatsRow() const
{
    return isBuilt() && m_stats->table()->currentItem() != nullptr;
}
