// SPDX-FileCopyrightText: 2026 The Stelvo developers
//
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include <QElapsedTimer>
#include <QEvent>
#include <QEventLoop>
#include <QObject>
#include <algorithm>
#include <vector>

namespace stelvo::bench {

// Notes when the watched window is shown and quits `loop` then.
class ShowWatcher : public QObject
{
public:
    ShowWatcher(QEventLoop& loop, QElapsedTimer& clock) : m_loop(loop), m_clock(clock) {}
    qint64 shownAt = -1; // nanoseconds on the clock; -1 until shown

protected:
    bool eventFilter(QObject*, QEvent* event) override
    {
        if (event->type() == QEvent::Show && shownAt < 0) {
            shownAt = m_clock.nsecsElapsed();
            m_loop.quit();
        }
        return false;
    }

private:
    QEventLoop& m_loop;
    QElapsedTimer& m_clock;
};

inline double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

} // namespace stelvo::bench
