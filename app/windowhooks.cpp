#include "app/windowhooks.h"

#include "app/mainwindow.h"
#include "common/dialogs.h"
#include "console/console.h"
#include "dashboard/instrument.h"
#include "service/srda.h"
#include "service/utilities.h"

#include <QLabel>

WindowHooks::WindowHooks(MainWindow &w) : w(w)
{
    SRDA *srda = w.srda();
    QObject::connect(srda, &SRDA::columnsReady, &w, &MainWindow::newSRDAColumnsReady);
    QObject::connect(srda, &SRDA::limitReached, &w, [&w](qint64 rowsKept) {
        w.consoleWidget()->appendData(SrdaData::limitText(rowsKept).toUtf8() + "\r\n");
        emit w.srdaLimitReached(rowsKept);
    });
}

void WindowHooks::statusReady()
{
    emit w.newStatusReady();
}

void WindowHooks::wrongModeBox()
{
    // Raised while a reply is parsed: shown once the reply path has returned.
    Dialogs::post(Dialogs::Icon::Information, QStringLiteral("Wrong Mode"),
                  QStringLiteral("Wrong mode: Changes must be done in Service Mode.  "
                                 "Concentration readings are only available in Measure Mode"));
}

void WindowHooks::setModelLabel(const QString &text)
{
    w.serialLabel()->setText(text);
}

void WindowHooks::tempAlarmVisible(bool visible)
{
    w.instrument()->tempAlarmVisible(visible);
}

void WindowHooks::enableControls()
{
    w.setControlsEnabled(true);
}

void WindowHooks::setCompatibilityMode(bool on)
{
    w.instrument()->compatibilityMode = on;
}

bool WindowHooks::waitingForSpeed() const
{
    return w.utilities()->waitingForSpeed;
}

bool WindowHooks::waitingForFilter() const
{
    return w.utilities()->waitingForFilter;
}

void WindowHooks::clearWaitingForSpeed()
{
    w.utilities()->waitingForSpeed = false;
}

void WindowHooks::updateSpeed(int value)
{
    w.utilities()->updateSpeed(value);
}

void WindowHooks::updateFilter(int value)
{
    w.utilities()->updateFilter(value);
}

void WindowHooks::updateGasList(const QStringList &gases)
{
    w.utilities()->updateGasList(gases);
}

void WindowHooks::setCurrentGas(const QString &gas)
{
    w.utilities()->setCurrentGas(gas);
}
