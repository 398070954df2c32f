#include "app/MoveProgressDialog.h"

#include <QLabel>
#include <QLocale>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>

#include <algorithm>

namespace shoebox {

namespace {

// The bar counts in whole numbers (int), too few for the bytes of a large
// video: it counts thousandths.
constexpr int barSteps = 1000;

QString dataSize(std::uint64_t bytes)
{
    return QLocale().formattedDataSize(static_cast<qint64>(bytes), 1, QLocale::DataSizeSIFormat);
}

} // namespace

MoveProgressDialog::MoveProgressDialog(const QString& fileName, const QString& folderName, QWidget* parent)
    : QDialog(parent), detail_(new QLabel(this)), bar_(new QProgressBar(this)),
      cancel_(new QPushButton(tr("Cancel"), this))
{
    setObjectName(QStringLiteral("moveProgressDialog"));
    setWindowTitle(tr("Moving %1").arg(fileName));
    setWindowModality(Qt::WindowModal);

    auto* heading = new QLabel(tr("Moving \u201C%1\u201D to \u201C%2\u201D").arg(fileName, folderName), this);
    heading->setObjectName(QStringLiteral("moveHeading"));
    heading->setTextFormat(Qt::PlainText);
    detail_->setObjectName(QStringLiteral("moveDetail"));
    detail_->setTextFormat(Qt::PlainText);
    detail_->setAccessibleName(tr("Bytes copied and rate"));
    bar_->setObjectName(QStringLiteral("moveBar"));
    bar_->setAccessibleName(tr("Copy progress"));
    bar_->setRange(0, 0); // busy until the first step reports
    bar_->setTextVisible(false);
    cancel_->setObjectName(QStringLiteral("cancelMoveButton"));
    cancel_->setToolTip(tr("Stop the move; the file stays where it is (Escape)"));
    cancel_->setAccessibleName(tr("Cancel the move"));
    // Keys typed on during a copy must not stop it: a space would click a
    // focused button. Escape and the mouse do.
    cancel_->setAutoDefault(false);
    cancel_->setFocusPolicy(Qt::NoFocus);
    connect(cancel_, &QPushButton::clicked, this, &MoveProgressDialog::reject);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(heading);
    layout->addWidget(bar_);
    layout->addWidget(detail_);
    layout->addWidget(cancel_, 0, Qt::AlignRight);
    setMinimumWidth(420);
    setProgress(0, 0, 0);
}

void MoveProgressDialog::setProgress(std::uint64_t done, std::uint64_t total, double bytesPerSecond)
{
    if (cancelling_)
        return;
    if (total == 0) {
        detail_->setText(tr("Preparing\u2026"));
        return;
    }
    bar_->setRange(0, barSteps);
    bar_->setValue(
        static_cast<int>(static_cast<double>(std::min(done, total)) / static_cast<double>(total) * barSteps));
    QString text = tr("%1 of %2").arg(dataSize(done), dataSize(total));
    if (bytesPerSecond > 0)
        text += tr(", %1/s").arg(dataSize(static_cast<std::uint64_t>(bytesPerSecond)));
    detail_->setText(text);
}

void MoveProgressDialog::reject()
{
    // The move stops at its next step and cleans up; until then the dialog
    // stays, so the window is not used while files are still changing.
    if (cancelling_)
        return;
    cancelling_ = true;
    cancel_->setEnabled(false);
    detail_->setText(tr("Cancelling\u2026"));
    emit cancelRequested();
}

} // namespace shoebox
