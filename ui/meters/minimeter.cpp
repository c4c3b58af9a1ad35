#include "minimeter.h"

#include "dbscale.h"
#include "meterwidget.h"

#include <QVBoxLayout>

namespace {

// A grey container named @p name holding two horizontal bars.
QWidget *addPair(QWidget *parent, QVBoxLayout *outer, const char *name, MeterWidget **bars)
{
    auto *box = new QWidget(parent);
    box->setObjectName(QLatin1String(name));
    box->setStyleSheet(QStringLiteral("background-color: grey;"));
    auto *layout = new QVBoxLayout(box);
    layout->setSpacing(1);
    layout->setContentsMargins(2, 1, 2, 1);
    for (const char *side : {"l", "r"}) {
        auto *bar = new MeterWidget(box);
        bar->setObjectName(QLatin1String(name) + QLatin1String(side));
        bar->setHorizontal();
        layout->addWidget(bar);
        *bars++ = bar;
    }
    outer->addWidget(box);
    return box;
}

} // namespace

MiniMeter::MiniMeter(QWidget *parent)
    : QWidget(parent)
{
    setObjectName(QStringLiteral("MiniMeter"));
    resize(180, 50);
    setMinimumSize(90, 25);
    setMaximumSize(180, 60);
    auto *layout = new QVBoxLayout(this);
    layout->setSpacing(2);
    layout->setContentsMargins(1, 1, 1, 1);
    addPair(this, layout, "rx", m_bars);
    addPair(this, layout, "tx", m_bars + 2);
}

void MiniMeter::levels(float rxl, float rxr, float txl, float txr)
{
    const float dB[4] = {rxl, rxr, txl, txr};
    for (int i = 0; i < 4; ++i)
        m_bars[i]->setLevel(DbScale::fraction(dB[i]));
}

void MiniMeter::allLevels(float rxl, float rxr, float txl, float txr, float rxlPeak, float rxrPeak, float txlPeak,
                          float txrPeak)
{
    const float dB[4] = {rxl, rxr, txl, txr};
    const float peak[4] = {rxlPeak, rxrPeak, txlPeak, txrPeak};
    for (int i = 0; i < 4; ++i)
        m_bars[i]->setLevel(DbScale::fraction(dB[i]), DbScale::fraction(peak[i]));
}

void MiniMeter::reset()
{
    for (MeterWidget *bar : m_bars)
        bar->setLevel(0.0f, 0.0f);
}
