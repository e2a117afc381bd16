#pragma once

#include "certification/certificationsequence.h"
#include "certification/certscans.h"

#include <QString>
#include <QWidget>

#include <array>

class QGroupBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QListWidgetItem;
class QProgressBar;
class QPushButton;

// The "Performance Verification" tab. The run itself is a
// CertificationSequence; the tab shows its status, progress and scan list
// and forwards the buttons.
class Certification : public QWidget
{
    Q_OBJECT
public:
    explicit Certification(QWidget *parent = nullptr);
    ~Certification() override;

    CertificationSequence *sequence() const { return run; }
    int currentStep() const { return run->currentStep(); }
    // Replies go to linefromOrin instead of the status parser while this holds.
    bool inProgress() const { return run->currentStep() != CertificationSequence::Idle; }
    QString ssnid() const { return run->ssnid(); }

    // Connected and identified: the four run and file buttons may be used.
    void setControlsEnabled(bool on);

    QLineEdit *statusLineEdit;
    QLabel *scanProgressLabel;
    QProgressBar *scanProgressBar;
    QListWidget *listWidget;
    QGroupBox *certifyBox;
    QPushButton *certifyButton;
    QPushButton *cancelCertifyButton;
    QLabel *cerficationLabel;
    QGroupBox *FileBox;
    QPushButton *fileBrowseButton;
    QLineEdit *fileLineEdit;
    QPushButton *sendFileButton;
    QPushButton *cancelFileButton;
    QLabel *sendFileLabel;

signals:
    void certifying(bool on);
    void lineforOrin(QString text);
    void lineforConsole(QString text);
    void lineforLogger(QString text);

public slots:
    void linefromOrin(QString text);
    void changeScans(CertScans scans);
    void certDataFolder();
    void setSSNID(const QString &id);

private slots:
    void cancel();
    void certify();
    void selectFile();
    void sendFile();

private:
    void updateButtons();
    void showSelection(const CertScans &scans);
    void markDone(int item);
    void resetItems();

    CertificationSequence *run;
    std::array<QListWidgetItem *, 6> scanItems{};
    bool controls = false;
    QString homePath;
};
