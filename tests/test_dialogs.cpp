#include "common/dialogs.h"

#include <QAbstractButton>
#include <QApplication>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>
#include <QtTest>

// The real boxes behind the dialog seam, driven by a timer while they are open.
class TestDialogs : public QObject
{
    Q_OBJECT
private slots:
    void boxWithoutButtonsCanBeClosed();
    void questionReturnsThePressedButton();

private:
    // Runs `act` on the modal box once it is open.
    static void whenOpen(const std::function<void(QMessageBox *)> &act);
};

void TestDialogs::whenOpen(const std::function<void(QMessageBox *)> &act)
{
    auto *timer = new QTimer;
    timer->setInterval(10);
    QObject::connect(timer, &QTimer::timeout, [timer, act] {
        if (auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget())) {
            timer->stop();
            timer->deleteLater();
            act(box);
        }
    });
    timer->start();
}

void TestDialogs::boxWithoutButtonsCanBeClosed()
{
    int buttonCount = -1;
    QString text;
    whenOpen([&](QMessageBox *box) {
        buttonCount = box->buttons().size();
        text = box->text();
        if (buttonCount > 0)
            box->buttons().first()->click();
        else
            box->done(0); // the operator could not have
    });
    Dialogs::Message m;
    m.icon = Dialogs::Icon::Critical;
    m.title = "Connection Error";
    m.text = "No response";
    m.buttons = Dialogs::NoButton;
    QCOMPARE(Dialogs::instance().message(m), int(Dialogs::NoButton));
    QCOMPARE(buttonCount, 1); // the operator can always dismiss it
    QCOMPARE(text, QString("No response"));
}

void TestDialogs::questionReturnsThePressedButton()
{
    QString defaultText;
    whenOpen([&](QMessageBox *box) {
        if (box->defaultButton())
            defaultText = box->defaultButton()->text().remove('&');
        box->button(QMessageBox::Cancel)->click();
    });
    const int answer = Dialogs::question("Telvar", "Are you sure you want to exit?\n",
                                         Dialogs::Yes | Dialogs::Cancel, Dialogs::Yes);
    QCOMPARE(answer, int(Dialogs::Cancel));
    QCOMPARE(defaultText, QString("Yes"));
}

QTEST_MAIN(TestDialogs)
#include "test_dialogs.moc"
