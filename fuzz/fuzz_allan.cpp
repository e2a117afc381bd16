// "telvar --allan" on whatever file it is given: a table whose averaging
// times rise, whose deviations are numbers and whose every row has at least
// two terms, or one line that says why not, never both.
//
// Input: [options] then the file. Options: bits 0-1 the spacing (octave,
// decade, many; 3 is octave too), bit 2 --column Tau.
#include "app/allancommand.h"
#include "common/clock.h"
#include "fuzz/fuzzcheck.h"

#include <QBuffer>
#include <QLoggingCategory>

#include <cmath>
#include <cstdint>

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    QLoggingCategory::setFilterRules(QStringLiteral("default.debug=false"));
    readLocalTimeZoneOnce(); // as the program does
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 1)
        return 0;
    AllanCommand command;
    const TauSpacing spacings[] = {TauSpacing::Octave, TauSpacing::Decade, TauSpacing::Many,
                                   TauSpacing::Octave};
    command.spacing = spacings[data[0] & 3];
    if (data[0] & 4)
        command.column = QStringLiteral("Tau");
    QByteArray content(reinterpret_cast<const char *>(data + 1), int(size - 1));
    QBuffer in(&content), out, err;
    in.open(QIODevice::ReadOnly);
    out.open(QIODevice::WriteOnly);
    err.open(QIODevice::WriteOnly);
    const int status = command.table(in, QStringLiteral("fuzz"), out, err);
    if (status != 0) {
        FUZZ_CHECK(status == 2 && out.data().isEmpty());
        FUZZ_CHECK(err.data().startsWith("telvar: fuzz: ") && err.data().count('\n') == 1 &&
                   err.data().endsWith('\n'));
        return 0;
    }
    FUZZ_CHECK(err.data().isEmpty());
    const QList<QByteArray> rows = out.data().split('\n');
    FUZZ_CHECK(rows.size() >= 3 && rows.first() == "tau_s,adev,n" && rows.last().isEmpty());
    double lastTau = 0;
    for (int r = 1; r + 1 < rows.size(); ++r) {
        const QList<QByteArray> fields = rows[r].split(',');
        FUZZ_CHECK(fields.size() == 3);
        bool ok[3] = {};
        const double tau = fields[0].toDouble(&ok[0]);
        const double adev = fields[1].toDouble(&ok[1]);
        const qlonglong n = fields[2].toLongLong(&ok[2]);
        FUZZ_CHECK(ok[0] && ok[1] && ok[2]);
        FUZZ_CHECK(std::isfinite(tau) && tau > lastTau);
        FUZZ_CHECK(std::isfinite(adev) && adev >= 0 && n >= 2);
        lastTau = tau;
    }
    return 0;
}
