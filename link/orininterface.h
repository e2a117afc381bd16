#pragma once

#include "link/connectionsettings.h"

#include <QByteArray>
#include <QObject>
#include <QString>

// The abstract link to the one analyzer. Commands go out unchanged (the caller
// adds the "\r\n"); replies come back as raw bytes that the main window cuts
// into lines.
class OrinInterface : public QObject
{
    Q_OBJECT
public:
    enum LinkKind
    {
        Tcp = 0,
        Serial = 1,
        Simulated = 2
    };

    explicit OrinInterface(QObject *parent = nullptr);

    // The most a transport takes in per read. After a hold-up a fast stream
    // has piled up in the system; taken in pieces, the window answers in
    // between, and the rest waits where it is (the sender waits with it).
    static constexpr qint64 readPieceBytes = 256 * 1024;

    QString errorText;      // headline of the last failed open
    QString connectionText; // one-line description for the status bar
    qint32 linkKind = 0;
    bool open = false;

    // The reason a transport gives for a loss, or `fallback` where it gives
    // none an operator could read ("Unknown error").
    static QString readableReason(const QString &reason, const QString &fallback);

signals:
    void getResponse();
    // Bytes have arrived; the main window's reply reader collects them with readData().
    void readyRead();
    void lineforLogger(QString text);
    // Emitted once when an open transport is lost without being closed by us
    // (a serial cable pulled). The text is the transport's own error text.
    void connectionLost(QString reason);
    // The end of an open begun with openInBackground: open, or not (errorText
    // says why). Always emitted after openInBackground has returned.
    void openFinished(bool opened);

public slots:
    virtual bool openConnection(ConnectionSettings currentSettings) = 0;
    // Opens without holding up the event loop where the transport takes its
    // time (a TCP connect to a host that does not answer); openFinished follows.
    // Links that open at once simply open.
    virtual void openInBackground(ConnectionSettings currentSettings);
    virtual void closeConnection() = 0;
    virtual void writeData(QByteArray data) = 0;
    virtual QByteArray readData() = 0;
    virtual bool connectionOpen() = 0;

    void measureCommand();
    void serviceCommand();
    void tuneCommand();
};
