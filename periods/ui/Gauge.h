#pragma once
// The account-period dialog's side of a schedule roll-over: the wait cursor and
// the progress gauge.
#include "periods/Rollover.h"

#include <QElapsedTimer>
#include <QPointer>

class QProgressBar;

namespace Rollover {

// Wait cursor while busy; the gauge shown at start, its value following every
// row, repainted at most every `repaintMs` milliseconds (and on the last row);
// hidden and the default cursor back at finish. While the run waits for another
// workstation the gauge runs without a value and the window keeps painting.
class GaugeProgress : public RolloverProgress
{
public:
    explicit GaugeProgress(QProgressBar* gauge, int repaintMs = 50);
    ~GaugeProgress() override; // finishes a run left busy
    void busy() override;
    void waiting() override;
    void start(int maximum) override;
    void advance(int position) override;
    void finish() override;

    int repaints() const { return m_repaints; }

private:
    void repaintGauge();

    QPointer<QProgressBar> m_gauge;
    int m_repaintMs;
    bool m_busy = false;
    int m_repaints = 0;
    QElapsedTimer m_sinceRepaint;
};

} // namespace Rollover
