#pragma once

#include <QObject>

class QSocketNotifier;

// Turns SIGTERM, SIGHUP and SIGINT (session ending, terminal closed, Ctrl+C)
// into a Qt signal delivered on the user-interface thread, so the program can
// close through its normal closing sequence.
class TerminationSignals : public QObject
{
    Q_OBJECT
public:
    explicit TerminationSignals(QObject *parent = nullptr);
    ~TerminationSignals() override;

signals:
    void terminationRequested();

private:
    void readPending();
    QSocketNotifier *m_notifier = nullptr;
};
