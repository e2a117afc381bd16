#include "service/utilities.h"

#include "support/testsupport.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QRandomGenerator>
#include <QSettings>
#include <QSignalSpy>
#include <QSlider>
#include <QtTest>

// The Utilities tab as the reply parser and the operator drive it: which
// analyzer answers it accepts, what it sends, and what it remembers.
class TestUtilities : public QObject
{
    Q_OBJECT
private slots:
    void init() { QSettings(QStringLiteral("Quorvane"), QStringLiteral("Telvar")).clear(); }

    void filterAnswers_data();
    void filterAnswers();
    void speedPlusLocksTheFilter_data();
    void speedPlusLocksTheFilter();
    void gasListMerges_data();
    void gasListMerges();
    // The replies that follow the tab's own questions.
    void answersToItsQuestions_data();
    void answersToItsQuestions();
    void gasListMatchesRemovalRule();
    void favoritesPersistEvenWhenEmpty();
    void modeButtonsLookDisabled();
};

namespace {

// Each step: "refresh" presses the filter's Refresh; a number is an answer
// from the analyzer (a filter reply or a status report's Filter field).
void play(Utilities &u, const QStringList &steps)
{
    for (const QString &step : steps) {
        if (step == QLatin1String("refresh"))
            QTest::mouseClick(u.refreshFilterPushButton, Qt::LeftButton);
        else
            u.updateFilter(step.toInt());
    }
}

} // namespace

void TestUtilities::filterAnswers_data()
{
    QTest::addColumn<QStringList>("steps");
    QTest::addColumn<QString>("shown");
    QTest::newRow("answer to refresh") << QStringList{"refresh", "150"} << "150";
    QTest::newRow("status report without refresh") << QStringList{"150"} << "";
    // Out of range: ignored, and it uses up the refresh; the next value waits
    // for the next press.
    QTest::newRow("1500 then 150") << QStringList{"refresh", "1500", "150"} << "";
    QTest::newRow("refresh again") << QStringList{"refresh", "1500", "refresh", "150"} << "150";
    QTest::newRow("bounds") << QStringList{"refresh", "10", "refresh", "1000"} << "1000";
    QTest::newRow("below") << QStringList{"refresh", "9"} << "";
}

void TestUtilities::filterAnswers()
{
    QFETCH(QStringList, steps);
    QFETCH(QString, shown);
    Utilities u;
    u.setCommandButtonsEnabled(true);
    QSignalSpy sent(&u, &Utilities::lineforOrin);
    play(u, steps);
    QCOMPARE(u.filterLineEdit->text(), shown);
    QVERIFY(!u.waitingForFilter);
    if (!shown.isEmpty())
        QCOMPARE(u.filterSlider->value(), shown.toInt());
    QCOMPARE(sent.count(), steps.count("refresh"));
    for (const auto &s : sent)
        QCOMPARE(s.at(0).toString(), QString("filter\r\n"));
}

void TestUtilities::speedPlusLocksTheFilter_data()
{
    // How Speed+ is turned on, then off: the operator's click on the box, or
    // the analyzer's answer to a Refresh.
    QTest::addColumn<bool>("onByAnswer");
    QTest::addColumn<bool>("offByAnswer");
    QTest::newRow("operator, operator") << false << false;
    QTest::newRow("answer, answer") << true << true;
    QTest::newRow("operator, answer") << false << true;
    QTest::newRow("answer, operator") << true << false;
}

void TestUtilities::speedPlusLocksTheFilter()
{
    QFETCH(bool, onByAnswer);
    QFETCH(bool, offByAnswer);
    Utilities u;
    u.show();
    u.setCommandButtonsEnabled(true);
    QSignalSpy sent(&u, &Utilities::lineforOrin);
    const auto turn = [&](bool on, bool byAnswer) {
        if (!byAnswer)
            return QTest::mouseClick(u.speedCheckBox, Qt::LeftButton);
        QTest::mouseClick(u.refreshSpeedPushButton, Qt::LeftButton);
        QVERIFY(u.waitingForSpeed);
        u.updateSpeed(on ? 1 : 0);
        QVERIFY(!u.waitingForSpeed);
    };
    turn(true, onByAnswer);
    QVERIFY(u.speedCheckBox->isChecked() && u.speedOn);
    QVERIFY(!u.filterSlider->isEnabled() && !u.filterLineEdit->isEnabled());
    QVERIFY(!u.filterPushButton->isEnabled() && !u.refreshFilterPushButton->isEnabled());
    // Unlocking all command buttons leaves the filter with the analyzer.
    u.setCommandButtonsEnabled(true);
    QVERIFY(!u.filterPushButton->isEnabled());
    // A filter value now only says that Speed+ sets it.
    u.updateFilter(150);
    QCOMPARE(u.filterLineEdit->text(), QString("S+"));

    turn(false, offByAnswer);
    QVERIFY(!u.speedCheckBox->isChecked());
    QVERIFY(u.filterSlider->isEnabled() && u.filterLineEdit->isEnabled());
    QVERIFY(u.filterPushButton->isEnabled());
    // Digits only again: letters typed go nowhere, and the filter sent is a number.
    QCOMPARE(u.filterLineEdit->inputMask(), QString("0099"));
    u.filterLineEdit->setFocus();
    QTest::keyClicks(u.filterLineEdit, "abc");
    QTest::mouseClick(u.filterPushButton, Qt::LeftButton);
    QTest::mouseClick(u.refreshFilterPushButton, Qt::LeftButton);
    u.updateFilter(250);
    QCOMPARE(u.filterLineEdit->text(), QString("250"));

    // Showing the analyzer's state sends no order to change it.
    QStringList lines;
    for (const auto &s : sent)
        lines << s.at(0).toString();
    const QString on = onByAnswer ? "DYNAMICFILTER_ENABLED\r\n" : "DYNAMICFILTER_ENABLED 1\r\n";
    const QString off = offByAnswer ? "DYNAMICFILTER_ENABLED\r\n" : "DYNAMICFILTER_ENABLED 0\r\n";
    QCOMPARE(lines, (QStringList{on, off, "filter 200\r\n", "filter\r\n"}));
}

void TestUtilities::gasListMerges_data()
{
    QTest::addColumn<QList<QStringList>>("updates");
    QTest::addColumn<QString>("current");
    QTest::addColumn<QStringList>("items");
    QTest::addColumn<QString>("selected");
    // The parser hands the library over last line first.
    QTest::newRow("library in reply order") << QList<QStringList>{{"CO2", "Air", "N2"}} << "Air"
                                            << QStringList{"N2", "Air", "CO2"} << "Air";
    QTest::newRow("repeats added once")
        << QList<QStringList>{{"N2"}, {"Ar", "N2", "N2"}} << "" << QStringList{"N2", "Ar"} << "N2";
    QTest::newRow("case matters") << QList<QStringList>{{"n2", "N2"}} << "n2"
                                  << QStringList{"N2", "n2"} << "n2";
    QTest::newRow("current gas absent")
        << QList<QStringList>{{"N2"}} << "He" << QStringList{"N2"} << "";
}

void TestUtilities::gasListMerges()
{
    QFETCH(QList<QStringList>, updates);
    QFETCH(QString, current);
    QFETCH(QStringList, items);
    QFETCH(QString, selected);
    Utilities u;
    u.setCurrentGas(current);
    for (const QStringList &list : updates)
        u.updateGasList(list);
    QStringList got;
    for (int i = 0; i < u.gasTypeComboBox->count(); ++i)
        got << u.gasTypeComboBox->itemText(i);
    QCOMPARE(got, items);
    QCOMPARE(u.gasTypeComboBox->currentText(), selected);
}

void TestUtilities::answersToItsQuestions_data()
{
    QTest::addColumn<QString>("waiting"); // "speed", "filter" or ""
    QTest::addColumn<QByteArray>("reply");
    QTest::addColumn<bool>("taken");
    QTest::addColumn<QString>("shown"); // the filter field, Speed+ as "S+", gases joined by "|"
    QTest::newRow("speed answer") << "speed" << QByteArray("1\r\n") << true << "S+";
    QTest::newRow("decimal speed answer") << "speed" << QByteArray("1.0\r\n") << true << "S+";
    QTest::newRow("filter answer") << "filter" << QByteArray("100\r\n") << true << "100";
    QTest::newRow("nobody waits") << "" << QByteArray("100\r\n") << true << "";
    QTest::newRow("not a number") << "speed" << QByteArray("abc\r\n") << true << "";
    QTest::newRow("gas list in reverse order")
        << "speed" << QByteArray("Gas 0 N2\r\nGas 1 Air\r\nGas 2 Ar\r\n") << true << "N2|Air|Ar";
    QTest::newRow("short gas line adds nothing")
        << "" << QByteArray("Gas 0 N2\r\nGas 1\r\n") << true << "N2";
    QTest::newRow("gas names from the tokens")
        << "" << QByteArray("Gas : 0 : N2\r\nGas 1 He\r\n") << true << "N2|He";
    QTest::newRow("wrong mode") << "speed" << QByteArray("!WRONG MODE\r\n") << true << "box";
    QTest::newRow("bare wrong") << "" << QByteArray("!WRONG\r\n") << true << "box";
    QTest::newRow("a status line is no answer")
        << "speed" << QByteArray("Conc : 1.5\r\n") << false << "";
}

void TestUtilities::answersToItsQuestions()
{
    QFETCH(QString, waiting);
    QFETCH(QByteArray, reply);
    QFETCH(bool, taken);
    QFETCH(QString, shown);
    ScriptedDialogs dialogs;
    Utilities u;
    u.setCommandButtonsEnabled(true);
    u.waitingForSpeed = waiting == "speed";
    u.waitingForFilter = waiting == "filter";
    QCOMPARE(u.answer(reply), taken);
    // Any answer but a status line ends the wait for Speed+.
    QCOMPARE(u.waitingForSpeed, waiting == "speed" && !taken);
    QStringList gases;
    for (int i = 0; i < u.gasTypeComboBox->count(); ++i)
        gases << u.gasTypeComboBox->itemText(i);
    QVERIFY(waitFor([] { return Dialogs::pendingPosts() == 0; }));
    const QString got = dialogs.count("Wrong Mode") == 1 ? "box"
                        : u.speedCheckBox->isChecked()   ? "S+"
                        : !gases.isEmpty()               ? gases.join('|')
                                                         : u.filterLineEdit->text();
    QCOMPARE(got, shown);
}

void TestUtilities::gasListMatchesRemovalRule()
{
    // The rule written out step by step: while "Gas" occurs, take its
    // last occurrence, add the token two places after it if any, remove it.
    const auto byRule = [](QStringList tokens) {
        QStringList gases;
        for (int at = tokens.lastIndexOf("Gas"); at >= 0; at = tokens.lastIndexOf("Gas")) {
            if (at + 2 < tokens.size())
                gases << tokens.at(at + 2);
            tokens.removeAt(at);
        }
        return gases;
    };
    QRandomGenerator random(7);
    for (int round = 0; round < 300; ++round) {
        QStringList tokens{"x"};
        const int size = 1 + random.bounded(12);
        for (int i = 0; i < size; ++i)
            tokens << (random.bounded(3) == 0 ? QString("Gas") : QString("t%1").arg(i));
        if (!tokens.contains("Gas"))
            tokens << "Gas";
        QCOMPARE(Utilities::gasesIn(tokens), byRule(tokens));
    }
    // A flood of gas lines in one reply still gives one name per line.
    QStringList flood;
    for (int i = 0; i < 100000; ++i)
        flood << "Gas"
              << "1"
              << "N2";
    QCOMPARE(Utilities::gasesIn(flood).size(), 100000);
}

void TestUtilities::favoritesPersistEvenWhenEmpty()
{
    {
        Utilities u;
        u.setCommandButtonsEnabled(true);
        QSignalSpy orin(&u, &Utilities::lineforOrin);
        QSignalSpy console(&u, &Utilities::lineforConsole);
        QSignalSpy logger(&u, &Utilities::lineforLogger);
        u.favoriteLineEdit[1]->setText("VERSION 2");
        QTest::mouseClick(u.favoritePushButton[1], Qt::LeftButton);
        u.favoriteLineEdit[2]->clear();
        QTest::mouseClick(u.favoritePushButton[2], Qt::LeftButton);
        QCOMPARE(orin.count(), 1);
        QCOMPARE(orin.at(0).at(0).toString(), QString("VERSION 2\r\n"));
        QCOMPARE(console.count(), 1);
        QCOMPARE(logger.count(), 1);
        u.favoriteLineEdit[3]->setText("unsent"); // typed, never sent: not kept
    }
    Utilities again;
    QCOMPARE(again.favoriteLineEdit[1]->text(), QString("VERSION 2"));
    QCOMPARE(again.favoriteLineEdit[2]->text(), QString(""));
    QCOMPARE(again.favoriteLineEdit[3]->text(), QString("VERSION"));
}

void TestUtilities::modeButtonsLookDisabled()
{
    // While a run has the analyzer these do nothing: they must not look as if they would.
    Utilities tab;
    for (QPushButton *b : {tab.measurePushButton, tab.servicePushButton, tab.tunePushButton}) {
        b->setEnabled(true);
        const QImage live = b->grab().toImage();
        b->setEnabled(false);
        QVERIFY(b->grab().toImage() != live);
    }
}

QTEST_MAIN(TestUtilities)
#include "test_utilities.moc"
