// The About box: the program icon, "Lumivex Version 1.0" and an OK button.
#pragma once

#include <QDialog>

namespace lumivex {

class AboutDialog : public QDialog {
  public:
    // Results: OK closes with 1; Escape and the close box with 2, the id of a cancel.
    static constexpr int kOkResult = 1;
    static constexpr int kCancelResult = 2;

    explicit AboutDialog(QWidget* parent = nullptr);

    // QDialog's reject() would end with QDialog::Rejected, which is 0.
    void reject() override { done(kCancelResult); }
};

}  // namespace lumivex
