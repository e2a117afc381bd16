#include "plot/plotexport.h"

#include "plot/numbertext.h"
#include "plot/samplering.h"

#include <QDateTime>
#include <QIODevice>

QByteArray exportHeader(bool dateAxis, const QString &seriesName, bool filtering)
{
    QByteArray header = dateAxis ? "Date&Time," : "X-axis,";
    header += seriesName.toUtf8();
    if (filtering)
        header += ", Filtered";
    header += '\n';
    return header;
}

bool writePlotCsv(QIODevice &out, const SampleRing &ring, double lo, double hi, bool dateAxis,
                  const QString &seriesName, bool filtering)
{
    QByteArray buffer = exportHeader(dateAxis, seriesName, filtering);
    constexpr int flushAt = 1 << 16;
    buffer.reserve(flushAt + 256);
    const double *x = ring.x();
    const double *y = ring.y();
    const double *f = ring.filtered();
    for (int k = 0; k < ring.size(); ++k) {
        const int i = ring.chronologicalIndex(k);
        if (!(lo < x[i] && x[i] < hi))
            continue;
        if (dateAxis) {
            buffer += QDateTime::fromMSecsSinceEpoch(qint64(x[i]))
                          .toString(QStringLiteral("yyyy-MM-dd hh:mm:ss"))
                          .toLatin1();
        } else {
            appendNumberText(buffer, x[i]);
        }
        buffer += ',';
        appendNumberText(buffer, y[i]);
        if (filtering) {
            buffer += ',';
            appendNumberText(buffer, f[i]);
        }
        buffer += '\n';
        if (buffer.size() >= flushAt) {
            if (out.write(buffer) != buffer.size())
                return false;
            buffer.clear();
        }
    }
    return out.write(buffer) == buffer.size();
}

QString pictureFileName(const QString &chosen, const QString &selectedFilter, QByteArray &format)
{
    QString name = chosen;
    for (const QString &suffix :
         {QStringLiteral(".jpeg"), QStringLiteral(".png"), QStringLiteral(".bmp")}) {
        if (name.contains(suffix)) {
            name.remove(suffix);
            break;
        }
    }
    format.clear();
    if (selectedFilter.contains(QLatin1String(".jpeg"))) {
        format = "JPEG";
        name += QStringLiteral(".jpeg");
    } else if (selectedFilter.contains(QLatin1String(".png"))) {
        format = "PNG";
        name += QStringLiteral(".png");
    } else if (selectedFilter.contains(QLatin1String(".bmp"))) {
        format = "BMP";
        name += QStringLiteral(".bmp");
    }
    return name;
}
