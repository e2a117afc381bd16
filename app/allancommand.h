#pragma once

#include "plot/allandeviation.h"

#include <QCommandLineOption>
#include <QList>
#include <QString>

#include <optional>

class QCommandLineParser;
class QIODevice;

// telvar --allan FILE [--column NAME] [--taus octave|decade|many]: the
// overlapping Allan deviation of a trend file (with or without the status
// columns), an SRDA export or a plot data export, as CSV on standard output.
// No window.
struct AllanCommand
{
    std::optional<QString> file;
    QString column; // empty: the first after the time
    TauSpacing spacing = TauSpacing::Octave;

    static QList<QCommandLineOption> options();
    // Reads the options after parsing; an error text, or empty.
    QString read(const QCommandLineParser &parser);
    // Writes the table to out, or one line to err: 0, or 2 when the file
    // gives no table.
    int run(QIODevice &out, QIODevice &err) const;
    // The same for what `in` holds, the message naming it `name`.
    int table(QIODevice &in, const QString &name, QIODevice &out, QIODevice &err) const;
    // The same on standard output and standard error.
    int run() const;

    // --allan is on the command line.
    static bool wanted(int argc, char *argv[]);
    // The whole run: the command line read as every run reads it, the table
    // written, the exit status. Without a QApplication: no display is needed,
    // and none is opened.
    static int main(int argc, char *argv[]);
};
