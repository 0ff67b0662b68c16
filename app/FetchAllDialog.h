#pragma once
// "Fetch lyrics for all songs...": the progress of a LyricsFetchAll run (done / total, found,
// not found, failed) with a Cancel button. Modeless: the window plays on meanwhile. The run
// is this dialog's own; closing the dialog cancels it, keeping what was saved. A cancelled
// run ends within a second, whatever it is doing.

#include "lyrics/LyricsFetchAll.h"

#include <QDialog>
#include <QElapsedTimer>

#include <memory>
#include <string>
#include <vector>

class QLabel;
class QPushButton;
class QTimer;

namespace larkspur {

class FetchAllDialog : public QDialog
{
    Q_OBJECT

  public:
    FetchAllDialog(std::vector<std::string> songs, FetchAllSetup setup, QWidget* parent);
    ~FetchAllDialog() override;

    QLabel* progressLabel = nullptr; // "done / total"
    QLabel* countsLabel = nullptr;   // found, not found, failed
    QLabel* waitLabel = nullptr;     // the database asked to wait
    QPushButton* cancelButton = nullptr;

  signals:
    // The run is over (through, cancelled or stopped); the counts say how it went.
    void ended(const larkspur::FetchAllCounts& counts);

  protected:
    void reject() override; // Esc and the close box cancel as the button does

  private:
    void update();

    std::unique_ptr<LyricsFetchAll> m_run;
    QTimer* m_poll = nullptr;
    bool m_ended = false;
    QElapsedTimer m_cancelled; // since the cancel
};

} // namespace larkspur
