#pragma once

#include <QDialog>
#include <cstdint>

class QLabel;
class QProgressBar;
class QPushButton;

namespace shoebox {

// Shown while a long move copies a file to another disk: the file's name,
// how much of it is copied, the rate, and Cancel. Cancel, Escape and the
// close button all ask the move to stop; the dialog then waits for it.
// Whoever runs the move shows it, and hides it when the move has ended.
class MoveProgressDialog final : public QDialog {
    Q_OBJECT
public:
    MoveProgressDialog(const QString& fileName, const QString& folderName, QWidget* parent);

    // `done` of `total` bytes copied (total 0: not known yet), at
    // `bytesPerSecond` on average.
    void setProgress(std::uint64_t done, std::uint64_t total, double bytesPerSecond);

    // Cancel: asks the move to stop, once, and says so until it has.
    void reject() override;

signals:
    void cancelRequested();

private:
    QLabel* detail_;
    QProgressBar* bar_;
    QPushButton* cancel_;
    bool cancelling_ = false;
};

} // namespace shoebox
