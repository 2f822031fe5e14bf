#pragma once

#include <QList>
#include <QString>
#include <QTextStream>

#include <functional>

namespace ordisp {

// One measured figure: its name, the number of this monitor's lines it was taken with, its value.
struct Figure {
    QString name;
    int lines = 0;
    double value = 0;
    QString unit;
};

// The figures of one bench run, printed as one table or as CSV lines.
class FigureTable {
public:
    void add(const QString& name, int lines, double value, const QString& unit);
    // The value of a figure already added; NaN when there is none.
    double value(const QString& name, int lines) const;
    const QList<Figure>& figures() const { return m_figures; }

    // figure,lines,value,unit per line and nothing else.
    void printCsv(QTextStream& out) const;
    // The figures named in perSize as rows with one column per line count, then the other figures
    // one per line, then the notes.
    void printTable(QTextStream& out, const QStringList& perSize, const QStringList& notes) const;

private:
    QList<Figure> m_figures;
};

// The median of the samples; NaN when there are none.
double Median(QList<double> samples);

// Times the runs by the processor time of this thread instead of the wall clock: steadier on a
// machine busy with other work, blind to waiting and to work done by other threads and processes.
// Returns the setting before.
bool UseThreadClock(bool on);

// Milliseconds of `work` over `repeat` runs, after one untimed warm-up; `prepare` runs before each,
// outside the clock.
QList<double> TimeRuns(int repeat, const std::function<void()>& prepare, const std::function<void()>& work);

} // namespace ordisp
