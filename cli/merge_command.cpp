#include "cli/merge_command.h"

#include <new>
#include <optional>
#include <vector>

#include "cli/exit_status.h"
#include "cli/interrupt.h"
#include "io/part_file.h"
#include "io/picture_file.h"
#include "render/band_dispatch.h"

namespace lumivex {

namespace {

QString Quoted(const QString& path) {
    return "'" + PrintableFileName(path) + "'";
}

}  // namespace

int RunMerge(const CliRequest& request, std::ostream& err) {
    const InterruptWatch interrupt;
    const RenderOptions& options = request.render;
    if (const QString problem = ReplaceProblem(options.outputPath); !problem.isEmpty()) {
        err << kProgramName << ": cannot write " << Quoted(options.outputPath).toStdString() << ": "
            << problem.toStdString() << '\n';
        return kExitUsage;
    }
    PictureFile output(options.outputPath);
    if (!output.GetFailure().isEmpty()) {
        err << kProgramName << ": " << output.GetFailure().toStdString() << '\n';
        return kExitUnreadable;
    }

    // The picture being put together: float colours for a floating-point OUT, whose parts must
    // hold them; otherwise 8-bit pixels, into which float parts are packed as the drivers pack.
    const bool floatOutput = IsFloatPictureFormat(options.format);
    QImage image;
    std::optional<ColorBuffer> colors;
    PartDescription first;
    bool firstHoldsColors = false;
    // Which part holds each band, by its place in request.parts.
    std::vector<int> holder;
    for (int i = 0; i < request.parts.size(); ++i) {
        if (interrupt.Requested()) {
            err << kProgramName << ": interrupted; no picture written\n";
            return kExitInterrupted;
        }
        const QString& path = request.parts[i];
        PartFile part = ReadPartFile(path);
        if (!part.problem.isEmpty()) {
            err << kProgramName << ": " << part.problem.toStdString() << '\n';
            return kExitUnreadable;
        }
        const PartDescription& description = part.description;
        if (i == 0) {
            first = description;
            firstHoldsColors = part.HoldsColors();
            if (floatOutput && !firstHoldsColors) {
                err << kProgramName << ": cannot write " << Quoted(options.outputPath).toStdString()
                    << " from " << Quoted(path).toStdString() << ": it is "
                    << PartKindText(false).toStdString()
                    << ", and an EXR picture is made of EXR parts\n";
                return kExitDiagnostic;
            }
            holder.assign(description.bands, -1);
            const PictureSize size = description.picture;
            try {
                if (floatOutput) {
                    colors.emplace(size.width, size.height);
                } else {
                    image = NewPictureImage(size.width, size.height);
                }
            } catch (const std::bad_alloc&) {
            }
            if (floatOutput ? !colors.has_value() : image.isNull()) {
                err << kProgramName << ": not enough memory for a " << description.picture.width
                    << 'x' << description.picture.height << " picture\n";
                return kExitLoadFailed;
            }
        } else if (const QString mismatch = PartMismatch(description, first); !mismatch.isEmpty()) {
            err << kProgramName << ": part " << Quoted(path).toStdString() << " does not fit "
                << Quoted(request.parts.front()).toStdString() << ": it was "
                << mismatch.toStdString() << '\n';
            return kExitDiagnostic;
        } else if (part.HoldsColors() != firstHoldsColors) {
            err << kProgramName << ": part " << Quoted(path).toStdString() << " is "
                << PartKindText(part.HoldsColors()).toStdString() << " but "
                << Quoted(request.parts.front()).toStdString() << " is "
                << PartKindText(firstHoldsColors).toStdString()
                << "; the parts of one picture are of one kind\n";
            return kExitDiagnostic;
        }
        const std::vector<Band> bands = SplitIntoBands(first.picture.height, first.bands);
        for (const unsigned band : description.held) {
            if (holder[band] >= 0) {
                err << kProgramName << ": band " << band << " is in both "
                    << Quoted(request.parts[holder[band]]).toStdString() << " and "
                    << Quoted(path).toStdString() << '\n';
                return kExitDiagnostic;
            }
            holder[band] = i;
            if (floatOutput) {
                CopyBandRows(*part.colors, *colors, bands[band]);
            } else if (part.HoldsColors()) {
                CopyBandRows(*part.colors, image, bands[band]);
            } else {
                CopyBandRows(part.image, image, bands[band]);
            }
        }
    }
    std::vector<unsigned> missing;
    for (unsigned band = 0; band < holder.size(); ++band) {
        if (holder[band] < 0) {
            missing.push_back(band);
        }
    }
    if (!missing.empty()) {
        err << kProgramName << ": no part holds band" << (missing.size() > 1 ? "s " : " ")
            << FormatBandList(missing).toStdString() << " of " << holder.size()
            << " (bands are numbered from 0); nothing written\n";
        return kExitDiagnostic;
    }
    if (const QString tooLarge =
            PictureSizeProblem(options.format, first.picture.width, first.picture.height);
        !tooLarge.isEmpty()) {
        err << kProgramName << ": cannot write " << Quoted(options.outputPath).toStdString() << ": "
            << tooLarge.toStdString() << '\n';
        return kExitUsage;
    }
    const auto abandon = [&] { return interrupt.Requested(); };
    const PictureWrite written = floatOutput ? output.WriteColors(*colors, {}, abandon)
                                             : output.Write(image, options.format, abandon);
    switch (written.outcome) {
        case PictureWrite::Outcome::Abandoned:
            err << kProgramName << ": interrupted; no picture written\n";
            return kExitInterrupted;
        case PictureWrite::Outcome::Failed:
            err << kProgramName << ": " << written.error.toStdString() << '\n';
            return kExitUnreadable;
        case PictureWrite::Outcome::Written:
            break;
    }
    return kExitOk;
}

}  // namespace lumivex
