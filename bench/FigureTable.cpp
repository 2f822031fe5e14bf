#include "FigureTable.h"

#include <algorithm>
#include <cmath>
#include <ctime>
#include <limits>

namespace ordisp {

namespace {

QString formatted(double value) {
    if (std::isnan(value))
        return QStringLiteral("-");
    const double magnitude = std::fabs(value);
    const int decimals = magnitude >= 100 ? 0 : magnitude >= 10 ? 1 : magnitude >= 1 ? 2 : 3;
    return QString::number(value, 'f', decimals);
}

QString csvValue(double value) {
    return std::isnan(value) ? QString() : QString::number(value, 'g', 6);
}

} // namespace

void FigureTable::add(const QString& name, int lines, double value, const QString& unit) {
    m_figures.append(Figure{name, lines, value, unit});
}

double FigureTable::value(const QString& name, int lines) const {
    for (const Figure& f : m_figures) {
        if (f.name == name && f.lines == lines)
            return f.value;
    }
    return std::numeric_limits<double>::quiet_NaN();
}

void FigureTable::printCsv(QTextStream& out) const {
    for (const Figure& f : m_figures)
        out << f.name << ',' << f.lines << ',' << csvValue(f.value) << ',' << f.unit << '\n';
    out.flush();
}

void FigureTable::printTable(QTextStream& out, const QStringList& perSize, const QStringList& notes) const {
    QList<int> sizes;
    for (const Figure& f : m_figures) {
        if (perSize.contains(f.name) && !sizes.contains(f.lines))
            sizes.append(f.lines);
    }
    const int nameWidth = 22;
    out << QStringLiteral("%1").arg(QStringLiteral("lines of this monitor"), -nameWidth);
    for (int n : sizes)
        out << QStringLiteral("%1").arg(n, 10);
    out << '\n';
    for (const QString& name : perSize) {
        QString unit;
        for (const Figure& f : m_figures) {
            if (f.name == name)
                unit = f.unit;
        }
        if (unit.isNull())
            continue;
        out << QStringLiteral("%1").arg(name, -nameWidth);
        for (int n : sizes)
            out << QStringLiteral("%1").arg(formatted(value(name, n)), 10);
        out << QStringLiteral("  ") << unit << '\n';
    }

    bool header = false;
    for (const Figure& f : m_figures) {
        if (perSize.contains(f.name))
            continue;
        if (!header) {
            out << QStringLiteral("\nreal binary\n");
            header = true;
        }
        const QString lines = f.lines ? QStringLiteral("%1 lines").arg(f.lines) : QString();
        out << QStringLiteral("%1").arg(f.name, -nameWidth) << QStringLiteral("%1").arg(lines, 12)
            << QStringLiteral("%1").arg(formatted(f.value), 10) << QStringLiteral("  ") << f.unit << '\n';
    }
    if (!notes.isEmpty()) {
        out << '\n';
        for (const QString& note : notes)
            out << note << '\n';
    }
    out.flush();
}

double Median(QList<double> samples) {
    if (samples.isEmpty())
        return std::numeric_limits<double>::quiet_NaN();
    std::sort(samples.begin(), samples.end());
    const qsizetype middle = samples.size() / 2;
    return samples.size() % 2 ? samples.at(middle) : (samples.at(middle - 1) + samples.at(middle)) / 2;
}

namespace {
bool g_threadClock = false;

qint64 nowNs() {
    timespec t{};
    clock_gettime(g_threadClock ? CLOCK_THREAD_CPUTIME_ID : CLOCK_MONOTONIC, &t);
    return qint64(t.tv_sec) * 1000000000 + t.tv_nsec;
}
} // namespace

bool UseThreadClock(bool on) {
    const bool was = g_threadClock;
    g_threadClock = on;
    return was;
}

QList<double> TimeRuns(int repeat, const std::function<void()>& prepare, const std::function<void()>& work) {
    QList<double> samples;
    samples.reserve(repeat);
    for (int i = -1; i < repeat; ++i) {
        if (prepare)
            prepare();
        const qint64 start = nowNs();
        work();
        const double ms = double(nowNs() - start) / 1e6;
        if (i >= 0)
            samples.append(ms);
    }
    return samples;
}

} // namespace ordisp
