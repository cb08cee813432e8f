#include "periods/ui/Gauge.h"

#include <QCoreApplication>
#include <QGuiApplication>
#include <QProgressBar>

namespace Rollover {

GaugeProgress::GaugeProgress(QProgressBar* gauge, int repaintMs)
    : m_gauge(gauge)
    , m_repaintMs(repaintMs)
{
}

GaugeProgress::~GaugeProgress()
{
    if (m_busy)
        finish();
}

void GaugeProgress::busy()
{
    if (m_busy)
        return;
    QGuiApplication::setOverrideCursor(Qt::WaitCursor);
    m_busy = true;
}

void GaugeProgress::waiting()
{
    if (m_gauge && m_gauge->maximum() != 0) {
        // No maximum: the bar moves to and fro while another workstation works.
        m_gauge->setUpdatesEnabled(true);
        m_gauge->setRange(0, 0);
        m_gauge->show();
    }
    // Paint, but take no input: the operator's Save is still running.
    QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
}

void GaugeProgress::start(int maximum)
{
    if (!m_gauge)
        return;
    m_gauge->setUpdatesEnabled(true);
    m_gauge->setRange(0, maximum);
    m_gauge->setValue(0);
    m_gauge->show();
    repaintGauge();
}

void GaugeProgress::advance(int position)
{
    if (!m_gauge)
        return;
    // The value follows every row; painting it is what costs, so that happens
    // only every few milliseconds and on the last row.
    m_gauge->setValue(position);
    if (position >= m_gauge->maximum() || m_sinceRepaint.hasExpired(m_repaintMs))
        repaintGauge();
}

void GaugeProgress::repaintGauge()
{
    m_gauge->setUpdatesEnabled(true);
    m_gauge->repaint();
    m_gauge->setUpdatesEnabled(false); // setValue() paints nothing until the next time
    ++m_repaints;
    m_sinceRepaint.start();
}

void GaugeProgress::finish()
{
    if (m_gauge) {
        m_gauge->setUpdatesEnabled(true);
        m_gauge->hide();
    }
    if (m_busy) {
        // Back to the normal cursor: the run's wait cursor is taken away.
        QGuiApplication::restoreOverrideCursor();
        m_busy = false;
    }
}

} // namespace Rollover
