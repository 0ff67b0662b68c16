#include "app/FetchAllDialog.h"

#include <QLabel>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>

namespace larkspur {

namespace {

constexpr int kPollMs = 200;

} // namespace

FetchAllDialog::FetchAllDialog(std::vector<std::string> songs, FetchAllSetup setup, QWidget* parent)
    : QDialog(parent), m_run(std::make_unique<LyricsFetchAll>(std::move(songs), std::move(setup)))
{
    setWindowTitle(QStringLiteral("Fetch lyrics for all songs"));
    setModal(false);
    auto* layout = new QVBoxLayout(this);
    progressLabel = new QLabel(this);
    countsLabel = new QLabel(this);
    waitLabel = new QLabel(this);
    cancelButton = new QPushButton(QStringLiteral("Cancel"), this);
    layout->addWidget(progressLabel);
    layout->addWidget(countsLabel);
    layout->addWidget(waitLabel);
    layout->addWidget(cancelButton, 0, Qt::AlignRight);
    connect(cancelButton, &QPushButton::clicked, this, [this] { reject(); });
    m_poll = new QTimer(this);
    connect(m_poll, &QTimer::timeout, this, &FetchAllDialog::update);
    m_poll->start(kPollMs);
    update();
    m_run->start();
}

// The run's own destructor cancels and waits, less than a second.
FetchAllDialog::~FetchAllDialog() = default;

void FetchAllDialog::reject()
{
    // The run ends at its next check; the poll then reports it. A run still busy
    // kCancelLimitMs after the cancel is left behind then.
    if (m_cancelled.isValid()) return;
    m_run->cancel();
    m_cancelled.start();
    QTimer::singleShot(kCancelLimitMs, this, &FetchAllDialog::update);
    cancelButton->setEnabled(false);
    cancelButton->setText(QStringLiteral("Cancelling..."));
}

void FetchAllDialog::update()
{
    const FetchAllCounts c = m_run->counts();
    progressLabel->setText(QStringLiteral("%1 / %2 songs").arg(c.done).arg(c.total));
    countsLabel->setText(QStringLiteral("Found: %1 (synced %2, plain %3, instrumental %4)\n"
                                        "Not found: %5\nFailed: %6\nRefused: %9\n"
                                        "Had lyrics: %7\nNot song files: %8")
                             .arg(c.synced + c.plain + c.instrumental)
                             .arg(c.synced)
                             .arg(c.plain)
                             .arg(c.instrumental)
                             .arg(c.notFound)
                             .arg(c.failed)
                             .arg(c.hadLyrics)
                             .arg(c.notSongs)
                             .arg(c.refused));
    waitLabel->setText(QString::fromStdString(c.waiting));
    const bool due = m_cancelled.isValid() && m_cancelled.elapsed() >= kCancelLimitMs;
    if ((!c.finished && !due) || m_ended) return;
    m_ended = true;
    m_poll->stop();
    m_run->wait(); // at once: done, or kCancelLimitMs past the cancel
    QDialog::reject();
    emit ended(m_run->counts());
}

} // namespace larkspur
