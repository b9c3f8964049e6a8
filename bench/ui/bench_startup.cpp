// Start-up to the first frame of Page 1: runs the updater (built with firstframemain.cpp, which
// reports the first frame's time on the steady clock and quits) again and again, and prints the
// median.
#include <QCoreApplication>
#include <QProcess>
#include <QTextStream>

#include <algorithm>
#include <chrono>
#include <vector>

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const int runs = argc > 1 ? std::max(1, atoi(argv[1])) : 11;
    QTextStream out(stdout);

    std::vector<double> milliseconds;
    for (int run = 0; run < runs; ++run) {
        QProcess updater;
        const auto started = std::chrono::steady_clock::now().time_since_epoch();
        updater.start(QStringLiteral(TARSEL_UPDATER_FIRSTFRAME), QStringList());
        if (!updater.waitForFinished(30000)) {
            out << "run " << run << ": no first frame within 30 s\n";
            return 1;
        }
        const QByteArray output = updater.readAllStandardOutput();
        const int at = output.indexOf("first-frame-ns ");
        if (at < 0) {
            out << "run " << run << ": no first frame reported\n" << updater.readAllStandardError();
            return 1;
        }
        const qint64 frame = output.mid(at + 15).split('\n').value(0).toLongLong();
        const double ms
            = (frame - std::chrono::duration_cast<std::chrono::nanoseconds>(started).count()) / 1e6;
        milliseconds.push_back(ms);
        out << "run " << run << ": " << QString::number(ms, 'f', 1) << " ms\n";
    }
    std::sort(milliseconds.begin(), milliseconds.end());
    out << "start-up to first frame of Page 1, median of " << runs << ": "
        << QString::number(milliseconds[milliseconds.size() / 2], 'f', 1) << " ms (min "
        << QString::number(milliseconds.front(), 'f', 1) << ", max "
        << QString::number(milliseconds.back(), 'f', 1) << ")\n";
    return 0;
}
