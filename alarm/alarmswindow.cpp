#include "alarm/alarmswindow.h"

#include "alarm/alarms.h"

#include <QCheckBox>
#include <QDoubleSpinBox>
#include <QFileInfo>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace {

QString timeText(const QDateTime &t)
{
    return t.isValid() ? t.toString(QStringLiteral("yyyy-MM-dd hh:mm:ss")) : QString();
}

QColor severityColour(AlarmSeverity s)
{
    return s == AlarmSeverity::Fault ? QColor(0xc0, 0x1c, 0x28) : QColor(0xe6, 0x7e, 0x00);
}

template <class T> T *named(T *w, const char *name)
{
    w->setObjectName(QLatin1String(name));
    return w;
}

} // namespace

AlarmsWindow::AlarmsWindow(Alarms &alarms, QWidget *parent)
    : QWidget(parent, Qt::Window), alarms(alarms)
{
    setWindowTitle(tr("Alarms"));
    list = named(new QTreeWidget, "alarmList");
    list->setRootIsDecorated(false);
    list->setHeaderLabels(
        {tr("Alarm"), tr("Severity"), tr("Raised"), tr("Cleared"), tr("Acknowledged"), tr("Text")});
    list->header()->setSectionResizeMode(QHeaderView::ResizeToContents);
    list->header()->setStretchLastSection(true);
    acknowledgeButton = named(new QPushButton(tr("Acknowledge")), "acknowledgeButton");
    acknowledgeAllButton = named(new QPushButton(tr("Acknowledge All")), "acknowledgeAllButton");
    auto *buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(acknowledgeButton);
    buttons->addWidget(acknowledgeAllButton);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(list);
    layout->addLayout(buttons);
    resize(1100, 300);

    connect(acknowledgeButton, &QPushButton::clicked, this, [this] {
        const QList<QTreeWidgetItem *> chosen = list->selectedItems();
        QStringList names;
        for (const QTreeWidgetItem *item : chosen)
            names << item->data(0, Qt::UserRole).toString();
        for (const QString &name : qAsConst(names))
            this->alarms.acknowledge(name);
    });
    connect(acknowledgeAllButton, &QPushButton::clicked, &alarms, &Alarms::acknowledgeAll);
    connect(list, &QTreeWidget::itemSelectionChanged, this,
            [this] { acknowledgeButton->setEnabled(!list->selectedItems().isEmpty()); });
    connect(&alarms, &Alarms::listChanged, this, &AlarmsWindow::refresh);
    refresh();
}

void AlarmsWindow::refresh()
{
    QStringList selected;
    for (const QTreeWidgetItem *item : list->selectedItems())
        selected << item->data(0, Qt::UserRole).toString();
    list->clear();
    bool unacknowledged = false;
    for (const Alarms::Shown &a : alarms.shown()) {
        auto *item = new QTreeWidgetItem(
            list, {a.condition.title,
                   a.condition.severity == AlarmSeverity::Fault ? tr("Fault") : tr("Warning"),
                   timeText(a.raised), timeText(a.cleared), timeText(a.acknowledged), a.text});
        item->setData(0, Qt::UserRole, a.condition.name);
        item->setToolTip(5, a.text);
        // Active ones in their severity's colour; a cleared one in grey.
        const QColor colour = a.active() ? severityColour(a.condition.severity) : QColor(Qt::gray);
        for (int c = 0; c < item->columnCount(); ++c)
            item->setForeground(c, colour);
        item->setSelected(selected.contains(a.condition.name));
        unacknowledged = unacknowledged || !a.acknowledged.isValid();
    }
    acknowledgeButton->setEnabled(!list->selectedItems().isEmpty());
    acknowledgeAllButton->setEnabled(unacknowledged);
}

AlarmIndicator::AlarmIndicator(Alarms &alarms, QWidget *parent)
    : QToolButton(parent), alarms(alarms)
{
    setObjectName(QStringLiteral("alarmIndicator"));
    setToolButtonStyle(Qt::ToolButtonTextOnly);
    connect(&alarms, &Alarms::listChanged, this, &AlarmIndicator::refresh);
    refresh();
}

void AlarmIndicator::refresh()
{
    const int n = alarms.activeCount();
    const std::optional<AlarmSeverity> worst = alarms.worst();
    setText(n == 1 ? tr("1 alarm") : tr("%1 alarms").arg(n));
    setToolTip(n ? tr("Active alarms: open the Alarms window") : tr("No active alarm"));
    setStyleSheet(worst
                      ? QStringLiteral("QToolButton { color: white; background: %1; "
                                       "border-radius: 3px; padding: 2px 6px; font-weight: bold; }")
                            .arg(severityColour(*worst).name())
                      : QStringLiteral("QToolButton { color: grey; padding: 2px 6px; }"));
}

AlarmSettingsPage::AlarmSettingsPage(QWidget *parent) : QWidget(parent)
{
    setObjectName(QStringLiteral("alarmSettingsPage"));
    enabledBox = named(new QCheckBox(tr("Raise alarms")), "alarmsEnabledBox");
    lampsBox = named(new QCheckBox(tr("Fault lamps")), "alarmLampsBox");
    linkBox = named(new QCheckBox(tr("Link lost for longer than")), "alarmLinkBox");
    runsBox =
        named(new QCheckBox(tr("Runs cancelled or failed, verifications ended")), "alarmRunsBox");
    writesBox = named(new QCheckBox(tr("Files that cannot be written, a disk with less free "
                                       "space than")),
                      "alarmWritesBox");
    highBox = named(new QCheckBox(tr("Concentration above")), "alarmHighBox");
    lowBox = named(new QCheckBox(tr("Concentration below")), "alarmLowBox");
    const auto limitSpin = [](const char *name) {
        auto *s = named(new QDoubleSpinBox, name);
        s->setRange(-1e9, 1e9);
        s->setDecimals(3);
        return s;
    };
    highSpin = limitSpin("alarmHighSpin");
    lowSpin = limitSpin("alarmLowSpin");
    hysteresisSpin = named(new QDoubleSpinBox, "alarmHysteresisSpin");
    hysteresisSpin->setRange(0, 100);
    hysteresisSpin->setSuffix(tr(" % of the limit"));
    hysteresisSpin->setToolTip(tr("A value must be back this far inside the limit to clear"));
    const auto secondsSpin = [](const char *name) {
        auto *s = named(new QSpinBox, name);
        s->setRange(0, 86400);
        s->setSuffix(tr(" s"));
        return s;
    };
    holdSpin = secondsSpin("alarmHoldSpin");
    holdSpin->setToolTip(tr("A limit must be crossed this long to raise, and be back this long "
                            "to clear"));
    linkLostSpin = secondsSpin("alarmLinkLostSpin");
    minFreeSpin = named(new QSpinBox, "alarmMinFreeSpin");
    minFreeSpin->setRange(0, 10000000);
    minFreeSpin->setSuffix(tr(" MB"));
    commandEdit = named(new QLineEdit, "alarmCommandEdit");
    commandEdit->setPlaceholderText(tr("a program run for each raise and clear"));
    commandEdit->setToolTip(tr("Run without a shell, the alarm's facts in TELVAR_ALARM, "
                               "TELVAR_STATE, TELVAR_SEVERITY, TELVAR_SERIAL, TELVAR_VALUE, "
                               "TELVAR_TEXT and TELVAR_TIME"));

    auto *form = new QFormLayout(this);
    form->addRow(enabledBox);
    form->addRow(lampsBox);
    form->addRow(linkBox, linkLostSpin);
    form->addRow(runsBox);
    form->addRow(writesBox, minFreeSpin);
    form->addRow(highBox, highSpin);
    form->addRow(lowBox, lowSpin);
    form->addRow(tr("Hold time:"), holdSpin);
    form->addRow(tr("Hysteresis:"), hysteresisSpin);
    form->addRow(tr("Alarm command:"), commandEdit);
    // A limit's value is taken only while its box is ticked.
    connect(highBox, &QCheckBox::toggled, highSpin, &QWidget::setEnabled);
    connect(lowBox, &QCheckBox::toggled, lowSpin, &QWidget::setEnabled);
    showSettings(AlarmSettings());
    highSpin->setEnabled(highBox->isChecked());
    lowSpin->setEnabled(lowBox->isChecked());
}

void AlarmSettingsPage::showSettings(const AlarmSettings &s)
{
    enabledBox->setChecked(s.enabled);
    lampsBox->setChecked(s.lamps);
    linkBox->setChecked(s.link);
    runsBox->setChecked(s.runs);
    writesBox->setChecked(s.writes);
    highBox->setChecked(bool(s.high));
    highSpin->setValue(s.high.value_or(0));
    lowBox->setChecked(bool(s.low));
    lowSpin->setValue(s.low.value_or(0));
    holdSpin->setValue(s.holdSeconds);
    hysteresisSpin->setValue(s.hysteresisPercent);
    linkLostSpin->setValue(s.linkLostSeconds);
    minFreeSpin->setValue(s.minFreeMb);
    commandEdit->setText(s.command);
}

AlarmSettings AlarmSettingsPage::settings() const
{
    AlarmSettings s;
    s.enabled = enabledBox->isChecked();
    s.lamps = lampsBox->isChecked();
    s.link = linkBox->isChecked();
    s.runs = runsBox->isChecked();
    s.writes = writesBox->isChecked();
    if (highBox->isChecked())
        s.high = highSpin->value();
    if (lowBox->isChecked())
        s.low = lowSpin->value();
    s.holdSeconds = holdSpin->value();
    s.hysteresisPercent = hysteresisSpin->value();
    s.linkLostSeconds = linkLostSpin->value();
    s.minFreeMb = minFreeSpin->value();
    const QString command = commandEdit->text().trimmed();
    // Absolute, so a start from another folder finds it.
    s.command = command.isEmpty() ? command : QFileInfo(command).absoluteFilePath();
    return s;
}
