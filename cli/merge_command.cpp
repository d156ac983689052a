#include "cli/merge_command.h"

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

    QImage image;
    PartDescription first;
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
            holder.assign(description.bands, -1);
            image = NewPictureImage(description.picture.width, description.picture.height);
            if (image.isNull()) {
                err << kProgramName << ": not enough memory for a " << description.picture.width
                    << 'x' << description.picture.height << " picture\n";
                return kExitLoadFailed;
            }
        } else if (const QString mismatch = PartMismatch(description, first); !mismatch.isEmpty()) {
            err << kProgramName << ": part " << Quoted(path).toStdString() << " does not fit "
                << Quoted(request.parts.front()).toStdString() << ": it was "
                << mismatch.toStdString() << '\n';
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
            CopyBandRows(part.image, image, bands[band]);
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
    const PictureWrite written =
        output.Write(image, options.format, [&] { return interrupt.Requested(); });
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
