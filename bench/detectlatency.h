#pragma once

// The round and the summary line that the detection benchmarks share.
#include "devicedetector.h"

#include <QElapsedTimer>
#include <QEventLoop>
#include <QTextStream>
#include <QTimer>
#include <QVector>

#include <algorithm>
#include <functional>

namespace detectlatency {

inline void wait(int ms)
{
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

// One round: a fresh detector is armed and given settleMs to take in what is there, appear()
// makes the product's volume appear, disappear() undoes it. Milliseconds from appear() to the
// report (detected, or another of the detector's one-string signals); negative when appear()
// failed or nothing came within timeoutMs.
inline double measure(const std::function<bool()> &appear, const std::function<void()> &disappear,
    int timeoutMs, int settleMs = 0,
    void (DeviceDetector::*report)(const QString &) = &DeviceDetector::detected)
{
    DeviceDetector detector;
    detector.start(QStringLiteral("0x1a2b"), QStringLiteral("0x3c4d"), QString());
    if (settleMs > 0)
        wait(settleMs);
    QEventLoop loop;
    QElapsedTimer timer;
    qint64 elapsed = -1;
    QObject::connect(&detector, report, &loop, [&] {
        elapsed = timer.nsecsElapsed();
        loop.quit();
    });
    QTimer::singleShot(timeoutMs, &loop, &QEventLoop::quit);
    timer.start();
    const bool appeared = appear();
    if (appeared && elapsed < 0)
        loop.exec();
    disappear();
    return appeared && elapsed >= 0 ? elapsed / 1e6 : -1;
}

// Negative samples count as missed.
inline void report(QTextStream &out, const QString &name, QVector<double> samples)
{
    const int rounds = samples.size();
    samples.erase(std::remove_if(samples.begin(), samples.end(), [](double ms) { return ms < 0; }),
        samples.end());
    std::sort(samples.begin(), samples.end());
    if (samples.isEmpty()) {
        out << name << ": nothing detected in " << rounds << " rounds\n";
        out.flush();
        return;
    }
    const auto at = [&samples](double q) { return samples.at(int(q * (samples.size() - 1))); };
    out << QStringLiteral(
        "%1: %2 rounds, min %3 ms, median %4 ms, p90 %5 ms, max %6 ms, missed %7\n")
               .arg(name)
               .arg(rounds)
               .arg(samples.first(), 0, 'f', 3)
               .arg(at(0.5), 0, 'f', 3)
               .arg(at(0.9), 0, 'f', 3)
               .arg(samples.last(), 0, 'f', 3)
               .arg(rounds - samples.size());
    out.flush();
}

} // namespace detectlatency
