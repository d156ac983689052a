#include "app/window_dialogs.h"

#include <QFileDialog>
#include <QMessageBox>
#include <QPushButton>
#include <QStringList>

#include "app/about_dialog.h"
#include "app/title_text.h"
#include "io/picture_file.h"

namespace lumivex {

namespace {

QString ImageFileFilters() {
    QStringList patterns;
    for (const QString& extension : WritablePictureExtensions()) {
        patterns << "*." + extension;
    }
    return "PNG image (*.png);;all picture formats (" + patterns.join(' ') + ")";
}

}  // namespace

Dialogs StandardDialogs() {
    Dialogs dialogs;
    dialogs.chooseSceneFile = [](QWidget* parent, const QString& directory) {
        // An open dialog accepts only existing files; the first filter is the selected one.
        return QFileDialog::getOpenFileName(parent, "Open", directory, kSceneFileFilters);
    };
    dialogs.chooseImageFile = [](QWidget* parent, const QString& suggestion) {
        QFileDialog dialog(parent, "Save Image", suggestion, ImageFileFilters());
        dialog.setAcceptMode(QFileDialog::AcceptSave);
        dialog.setDefaultSuffix("png");
        dialog.selectFile(suggestion);
        return dialog.exec() == QDialog::Accepted ? dialog.selectedFiles().value(0) : QString();
    };
    dialogs.chooseSaveTiming = [](QWidget* parent) {
        QMessageBox box(QMessageBox::Question, "Save Image",
                        "The picture is still rendering. Save it as it is now, or once it is "
                        "finished?",
                        QMessageBox::Cancel, parent);
        QPushButton* now = box.addButton("Save &Now", QMessageBox::AcceptRole);
        QPushButton* later = box.addButton("Save When &Finished", QMessageBox::AcceptRole);
        box.setDefaultButton(later);
        box.exec();
        return box.clickedButton() == now     ? SaveTiming::Now
               : box.clickedButton() == later ? SaveTiming::WhenFinished
                                              : SaveTiming::Cancel;
    };
    dialogs.choosePictureSize = [](QWidget* parent, PictureSizeChoice current, double aspect) {
        return AskPictureSize(parent, current.size, current.matchAspect, aspect);
    };
    dialogs.showError = [](QWidget* parent, const QString& message) {
        QMessageBox::critical(parent, kProgramTitle, message);
    };
    dialogs.showAbout = [](QWidget* parent) {
        AboutDialog about(parent);
        return about.exec();
    };
    return dialogs;
}

}  // namespace lumivex
