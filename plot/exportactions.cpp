#include "plot/exportactions.h"

#include "common/debuglog.h"
#include "common/dialogs.h"
#include "plot/plotexport.h"

#include <QDebug>
#include <QDir>
#include <QFile>
#include <QImageWriter>
#include <QWidget>

namespace {

void warnNotSaved(QWidget *parent, const QString &title, const QString &text)
{
    Dialogs::Message m;
    m.icon = Dialogs::Icon::Warning;
    m.title = title;
    m.text = text;
    m.parent = parent;
    Dialogs::instance().message(m);
}

} // namespace

void exportCsvAs(QWidget *parent, const std::function<bool(QIODevice &)> &write)
{
    Dialogs::FileRequest request;
    request.title = QStringLiteral("Save Data");
    request.filter = QStringLiteral("Comma Separated Values (*.csv)");
    request.parent = parent;
    const QString name = Dialogs::instance().saveFileName(request);
    if (name.isEmpty())
        return;
    QFile file(name);
    bool written = file.open(QIODevice::WriteOnly | QIODevice::Text | QIODevice::Truncate);
    if (written) {
        written = write(file);
        file.close();
        written = written && file.error() == QFileDevice::NoError;
    }
    if (!written)
        warnNotSaved(parent, QStringLiteral("Export Data"),
                     QStringLiteral("The data could not be saved to %1:\n%2")
                         .arg(QDir::toNativeSeparators(name), file.errorString()));
}

void exportPictureAs(QWidget *window)
{
    const QImage picture = window->grab().toImage();
    if (picture.isNull()) {
        qCDebug(telvarDebug) << "Failed to capture the plot for saving";
        return;
    }
    QString selectedFilter;
    Dialogs::FileRequest request;
    request.title = QStringLiteral("Save Image");
    request.filter = QStringLiteral(
        "Portable Network Graphics file (*.png);;JPEG file (*.jpeg);;Bitmap file (*.bmp)");
    request.parent = window;
    request.selectedFilter = &selectedFilter;
    const QString chosen = Dialogs::instance().saveFileName(request);
    if (chosen.isEmpty())
        return;
    QByteArray format;
    const QString name = pictureFileName(chosen, selectedFilter, format);
    QImageWriter writer(name, format);
    if (!writer.write(picture))
        warnNotSaved(window, QStringLiteral("Export Plot Image"),
                     QStringLiteral("The picture could not be saved to %1:\n%2")
                         .arg(QDir::toNativeSeparators(name), writer.errorString()));
}
