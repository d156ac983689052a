#include "app/picture_size_dialog.h"

#include <algorithm>
#include <cmath>
#include <iterator>

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QSpinBox>
#include <QVBoxLayout>

namespace lumivex {

namespace {

constexpr int kPresetCount = static_cast<int>(std::size(kPictureSizePresets));

double Length3(const Vec4& v) {
    return std::sqrt(double{v.x} * v.x + double{v.y} * v.y + double{v.z} * v.z);
}

QSpinBox* SideBox(QWidget* parent) {
    auto* box = new QSpinBox(parent);
    box->setRange(1, static_cast<int>(kMaxPictureSide));
    box->setSuffix(" px");
    return box;
}

}  // namespace

double CameraAspect(const Camera& camera) {
    const double aspect = Length3(camera.up) / Length3(camera.right);
    return std::isfinite(aspect) && aspect > 0 ? aspect : 1.0;
}

std::uint32_t MatchAspect(std::uint32_t width, double aspect) {
    if (!(aspect > 0) || !std::isfinite(aspect)) {
        aspect = 1.0;
    }
    const double height = std::round(width * aspect);
    return static_cast<std::uint32_t>(std::clamp(height, 1.0, double{kMaxPictureSide}));
}

PictureSizeDialog::PictureSizeDialog(PictureSize current, bool matchAspect, double aspect,
                                     QWidget* parent)
    : QDialog(parent), aspect(aspect) {
    setWindowTitle("Picture Size");
    presets = new QComboBox(this);
    for (const PictureSize& preset : kPictureSizePresets) {
        presets->addItem(QString("%1 x %2").arg(preset.width).arg(preset.height));
    }
    presets->addItem("Custom");
    widthBox = SideBox(this);
    heightBox = SideBox(this);
    matchBox = new QCheckBox("Match the camera's aspect", this);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);

    auto* form = new QFormLayout;
    form->addRow("&Size:", presets);
    form->addRow("&Width:", widthBox);
    form->addRow("&Height:", heightBox);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addWidget(matchBox);
    layout->addWidget(buttons);

    SetSize(current);
    SetMatchAspect(matchAspect);
    connect(presets, &QComboBox::activated, this, &PictureSizeDialog::SelectPreset);
    connect(widthBox, &QSpinBox::valueChanged, this, [this] { Synchronize(); });
    connect(heightBox, &QSpinBox::valueChanged, this, [this] { Synchronize(); });
    connect(matchBox, &QCheckBox::toggled, this, [this] { Synchronize(); });
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
}

PictureSizeChoice PictureSizeDialog::Choice() const {
    return {{static_cast<std::uint32_t>(widthBox->value()),
             static_cast<std::uint32_t>(heightBox->value())},
            matchBox->isChecked()};
}

int PictureSizeDialog::PresetIndex() const {
    const PictureSize size = Choice().size;
    const auto* found =
        std::find(std::begin(kPictureSizePresets), std::end(kPictureSizePresets), size);
    return static_cast<int>(found - std::begin(kPictureSizePresets));
}

void PictureSizeDialog::SelectPreset(int index) {
    // Custom keeps the numbers as they are, for editing. A preset is taken whole: one of another
    // aspect than the camera's ends the matching.
    if (index >= 0 && index < kPresetCount) {
        const PictureSize preset = kPictureSizePresets[index];
        if (MatchAspect(preset.width, aspect) != preset.height) {
            matchBox->setChecked(false);
        }
        SetSize(preset);
    }
}

void PictureSizeDialog::SetSize(PictureSize size) {
    synchronizing = true;
    widthBox->setValue(static_cast<int>(size.width));
    heightBox->setValue(static_cast<int>(size.height));
    synchronizing = false;
    Synchronize();
}

void PictureSizeDialog::SetMatchAspect(bool match) {
    matchBox->setChecked(match);
    Synchronize();
}

void PictureSizeDialog::Synchronize() {
    if (synchronizing) {
        return;
    }
    synchronizing = true;
    const bool match = matchBox->isChecked();
    heightBox->setEnabled(!match);
    if (match) {
        heightBox->setValue(
            static_cast<int>(MatchAspect(static_cast<std::uint32_t>(widthBox->value()), aspect)));
    }
    presets->setCurrentIndex(PresetIndex());
    synchronizing = false;
}

std::optional<PictureSizeChoice> AskPictureSize(QWidget* parent, PictureSize current,
                                                bool matchAspect, double aspect) {
    PictureSizeDialog dialog(current, matchAspect, aspect, parent);
    if (dialog.exec() != QDialog::Accepted) {
        return std::nullopt;
    }
    return dialog.Choice();
}

}  // namespace lumivex
