#include "cli/render_command.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <exception>
#include <functional>
#include <iterator>
#include <memory>
#include <new>
#include <system_error>
#include <thread>

#include <sys/stat.h>

#include <QCryptographicHash>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>

#include "cli/command_line.h"
#include "cli/exit_status.h"
#include "cli/interrupt.h"
#include "cli/standard_output.h"
#include "io/atomic_file.h"
#include "io/part_file.h"
#include "io/picture_file.h"
#include "render/render_session.h"
#include "scene/printable_text.h"

namespace lumivex {

namespace {

// How often the waiting thread looks at the render and the interrupt flag, and how often it
// redraws the progress line.
constexpr auto kPollInterval = std::chrono::milliseconds(10);
constexpr qint64 kRedrawMilliseconds = 250;

constexpr int kBarWidth = 30;
// The scene file is hashed this much at a time between looks at the stop request.
constexpr std::size_t kHashPiece = std::size_t{1} << 20;
// Wide enough for the longest line we draw, so a shorter redraw blanks what the last one left.
constexpr std::size_t kProgressLineWidth = 72;

// "m:ss", or "h:mm:ss" from an hour on.
std::string FormatDuration(double seconds) {
    const auto whole = static_cast<long long>(std::max(0.0, std::floor(seconds)));
    char text[32];
    if (whole >= 3600) {
        std::snprintf(text, sizeof text, "%lld:%02lld:%02lld", whole / 3600, whole / 60 % 60,
                      whole % 60);
    } else {
        std::snprintf(text, sizeof text, "%lld:%02lld", whole / 60, whole % 60);
    }
    return text;
}

// Draws the progress line on a terminal a few times a second, and not at all elsewhere.
class ProgressDisplay {
  public:
    ProgressDisplay(std::ostream& err, bool enabled, std::uint64_t rows)
        : err(err), enabled(enabled), rows(rows) {}

    void Update(std::uint64_t rowsDone, const QElapsedTimer& timer, bool force = false) {
        if (!enabled || (!force && drawn && timer.elapsed() - lastDraw < kRedrawMilliseconds)) {
            return;
        }
        lastDraw = timer.elapsed();
        drawn = true;
        err << ProgressLine(rowsDone, rows, static_cast<double>(lastDraw) / 1000.0) << std::flush;
    }

    // Ends the line, so whatever comes next starts on a fresh one.
    void End() {
        if (drawn) {
            err << '\n' << std::flush;
            drawn = false;
        }
    }

  private:
    std::ostream& err;
    bool enabled;
    std::uint64_t rows;
    bool drawn = false;
    qint64 lastDraw = 0;
};

int ReportInterrupted(std::ostream& err) {
    err << kProgramName << ": interrupted; no picture written\n";
    return kExitInterrupted;
}

// The scene file read, loaded and indexed, or the exit status when that failed or was stopped;
// problems are reported.
struct LoadedScene {
    PreparedScene prepared;
    std::optional<SceneDiagnostic> diagnostic;
    std::vector<SceneDiagnostic> warnings;
    bool noEntry = false;
    int failure = kExitOk;
    QString sceneSha256;  // of the file's bytes, which part files record
};

LoadedScene LoadSceneFile(const QString& scenePath, const std::string& fileName,
                          const RenderOptions& options, std::ostream& err,
                          const SceneTextLoader& load) {
    const std::atomic<bool>* stop = &InterruptWatch::Flag();
    LoadedScene loaded;
    try {
        FileContents contents = ReadSceneFile(scenePath, {options.maxSceneBytes, stop});
        switch (contents.problem) {
            case FileContents::Problem::None:
                break;
            case FileContents::Problem::Stopped:
                loaded.failure = ReportInterrupted(err);
                return loaded;
            case FileContents::Problem::TooLarge:
                err << kProgramName << ": " << contents.failure.toStdString()
                    << " (see --max-scene-size)\n";
                loaded.failure = kExitUnreadable;
                return loaded;
            default:
                err << kProgramName << ": " << contents.failure.toStdString() << '\n';
                loaded.failure = kExitUnreadable;
                return loaded;
        }
        // Hashed a piece at a time, so that a stop request is answered at once on large files.
        QCryptographicHash hash(QCryptographicHash::Sha256);
        const std::string& bytes = *contents.bytes;
        for (std::size_t done = 0; done < bytes.size(); done += kHashPiece) {
            if (stop->load()) {
                loaded.failure = ReportInterrupted(err);
                return loaded;
            }
            hash.addData(QByteArrayView(bytes).sliced(
                static_cast<qsizetype>(done),
                static_cast<qsizetype>(std::min(kHashPiece, bytes.size() - done))));
        }
        loaded.sceneSha256 = QString::fromLatin1(hash.result().toHex());
        SceneLoadResult result = load(std::move(*contents.bytes), stop);
        if (result.stopped) {
            loaded.failure = ReportInterrupted(err);
            return loaded;
        }
        loaded.diagnostic = std::move(result.diagnostic);
        loaded.warnings = std::move(result.warnings);
        loaded.noEntry = result.noEntry;
        loaded.prepared = PrepareScene(std::move(result.scene), options.request.accelerate, stop);
        if (loaded.prepared.stopped) {
            loaded.failure = ReportInterrupted(err);
        }
        return loaded;
    } catch (const std::exception& e) {
        err << kProgramName << ": " << LoadFailureMessage(fileName, e) << '\n';
    }
    loaded.failure = kExitLoadFailed;
    return loaded;
}

QByteArray StatsJson(const RenderRequest& request, double seconds, double loadSeconds,
                     const RayCounts& rays) {
    const double allRays = static_cast<double>(rays.camera + rays.secondary + rays.shadow);
    const QJsonObject stats{
        {"seconds", seconds},
        {"loadSeconds", loadSeconds},
        {"workers", static_cast<qint64>(request.bands)},
        {"threads", static_cast<qint64>(request.threads)},
        {"accelerated", request.accelerate},
        {"width", static_cast<qint64>(request.picture.width)},
        {"height", static_cast<qint64>(request.picture.height)},
        {"mode", AntialiasModeName(request.mode)},
        {"stochastic", request.stochastic},
        {"rays",
         QJsonObject{
             {"camera", static_cast<qint64>(rays.camera)},
             {"secondary", static_cast<qint64>(rays.secondary)},
             {"shadow", static_cast<qint64>(rays.shadow)},
         }},
        {"mraysPerSecond", seconds > 0.0 ? allRays / seconds / 1e6 : 0.0},
    };
    return QJsonDocument(stats).toJson(QJsonDocument::Compact) + '\n';
}

// Why the picture must not go to `output`: it is no regular file (see ReplaceProblem), or it is
// the scene file itself, also under another name, which the picture would replace.
QString OutputProblem(const QString& output, const QString& scene) {
    if (QString problem = ReplaceProblem(output); !problem.isEmpty()) {
        return problem;
    }
    struct stat outputStatus {};
    struct stat sceneStatus {};
    if (stat(QFile::encodeName(output).constData(), &outputStatus) == 0 &&
        stat(QFile::encodeName(scene).constData(), &sceneStatus) == 0 &&
        outputStatus.st_dev == sceneStatus.st_dev && outputStatus.st_ino == sceneStatus.st_ino) {
        return "it is the scene file";
    }
    return {};
}

}  // namespace

std::string ProgressLine(std::uint64_t rowsDone, std::uint64_t rows, double seconds) {
    rowsDone = std::min(rowsDone, rows);
    const std::uint64_t percent = rows == 0 ? 100 : rowsDone * 100 / rows;
    const std::uint64_t filled = rows == 0 ? kBarWidth : rowsDone * kBarWidth / rows;
    std::string line = "\r";
    line += std::string(percent < 10 ? 2 : percent < 100 ? 1 : 0, ' ');
    line += std::to_string(percent) + "% [" + std::string(filled, '#') +
            std::string(kBarWidth - filled, '.') + "] " + FormatDuration(seconds) + " elapsed";
    if (rowsDone > 0 && rowsDone < rows) {
        const double left =
            seconds * static_cast<double>(rows - rowsDone) / static_cast<double>(rowsDone);
        line += ", about " + FormatDuration(std::ceil(left)) + " left";
    }
    if (line.size() < kProgressLineWidth) {
        line.append(kProgressLineWidth - line.size(), ' ');
    }
    return line;
}

int RunRender(const CliRequest& request, std::ostream& out, std::ostream& err, bool errIsTerminal,
              const SceneTextLoader& load) {
    const RenderOptions& options = request.render;
    // From here on Ctrl+C asks for a stop instead of killing the process at once, so that no
    // half-written picture is left behind and the exit status says what happened.
    const InterruptWatch interrupt;

    // The output is checked and its temporary file created before the scene is read, so that a
    // picture that could not be written is refused at once, not after the render.
    if (const QString problem = OutputProblem(options.outputPath, request.scenePath);
        !problem.isEmpty()) {
        err << kProgramName << ": cannot write '"
            << PrintableFileName(options.outputPath).toStdString() << "': " << problem.toStdString()
            << '\n';
        return kExitUsage;
    }
    PictureFile output(options.outputPath);
    if (!output.GetFailure().isEmpty()) {
        err << kProgramName << ": " << output.GetFailure().toStdString() << '\n';
        return kExitUnreadable;
    }

    // Diagnostics name the file exactly as it was given, in the bytes it was given in.
    const std::string fileName = QFile::encodeName(request.scenePath).toStdString();
    QElapsedTimer loadTimer;
    loadTimer.start();
    LoadedScene loaded = LoadSceneFile(request.scenePath, fileName, options, err, load);
    const double loadSeconds = static_cast<double>(loadTimer.nsecsElapsed()) / 1e9;
    if (loaded.failure != kExitOk) {
        return loaded.failure;
    }
    for (const SceneDiagnostic& warning : loaded.warnings) {
        err << FormatDiagnostic(fileName, warning, "warning");
    }
    if (loaded.diagnostic) {
        err << FormatDiagnostic(fileName, *loaded.diagnostic, options.strict ? "error" : "warning");
        if (options.strict) {
            return kExitDiagnostic;
        }
    }
    // Text without a single entry is most likely not a scene file; its warning is out already.
    if (loaded.noEntry && options.strict) {
        err << kProgramName << ": " << PrintableText(fileName)
            << " holds no scene entry; nothing rendered\n";
        return kExitDiagnostic;
    }
    if (interrupt.Requested()) {
        return ReportInterrupted(err);
    }

    RenderRequest what = options.request;
    const PictureSize picture = what.picture;
    PartDescription description{loaded.sceneSha256, picture,    AntialiasModeName(what.mode),
                                what.stochastic,    what.bands, {},
                                LUMIVEX_VERSION};
    std::vector<unsigned> wanted = what.onlyBands;
    if (wanted.empty()) {
        for (unsigned band = 0; band < what.bands; ++band) {
            wanted.push_back(band);
        }
    }

    // With --resume, the bands an interrupted render kept are taken from its part file, which
    // must come from the same scene and options; only the others are rendered.
    const bool floatOutput = IsFloatPictureFormat(options.format);
    const QString partialPath = PartialPathFor(options.outputPath, options.format);
    PartFile kept;
    if (options.resume) {
        if (!QFileInfo::exists(partialPath)) {
            err << kProgramName << ": no " << PrintableFileName(partialPath).toStdString()
                << " to resume from; rendering every band\n";
        } else {
            kept = ReadPartFile(partialPath);
            if (!kept.problem.isEmpty()) {
                err << kProgramName << ": cannot resume: " << kept.problem.toStdString() << '\n';
                return kExitUnreadable;
            }
            if (const QString mismatch = PartMismatch(kept.description, description);
                !mismatch.isEmpty()) {
                err << kProgramName << ": cannot resume from '"
                    << PrintableFileName(partialPath).toStdString() << "': it was "
                    << mismatch.toStdString()
                    << "; render with its options, or remove it to start afresh\n";
                return kExitDiagnostic;
            }
            if (kept.HoldsColors() != floatOutput) {
                err << kProgramName << ": cannot resume from '"
                    << PrintableFileName(partialPath).toStdString() << "': it is "
                    << PartKindText(kept.HoldsColors()).toStdString() << ", not "
                    << PartKindText(floatOutput).toStdString() << '\n';
                return kExitDiagnostic;
            }
            // Bands kept but not asked for now (another --bands) are left out.
            std::erase_if(kept.description.held, [&](unsigned band) {
                return std::find(wanted.begin(), wanted.end(), band) == wanted.end();
            });
        }
    }
    const std::vector<unsigned>& held = kept.description.held;
    std::vector<unsigned> missing;
    std::set_difference(wanted.begin(), wanted.end(), held.begin(), held.end(),
                        std::back_inserter(missing));
    what.onlyBands = missing;

    RenderSession session;
    session.SetScene(std::move(loaded.prepared));
    // Both the picture and the image (or, for a floating-point picture, the colours, which take
    // its place) are allocated before rendering, so that a picture too large for this machine is
    // refused at once rather than after the render.
    QImage image;
    try {
        session.KeepColors(floatOutput);
        session.ResizePicture(picture);
        if (!floatOutput) {
            image = NewPictureImage(picture.width, picture.height);
        }
    } catch (const std::bad_alloc&) {
    }
    if (session.GetPixels() == nullptr ||
        (floatOutput ? session.GetColors() == nullptr : image.isNull())) {
        err << kProgramName << ": not enough memory for a " << picture.width << 'x'
            << picture.height << " picture\n";
        return kExitLoadFailed;
    }

    // The bands finished so far, by number, set by the rendering threads.
    const auto finished = std::make_unique<std::atomic<bool>[]>(what.bands);
    QElapsedTimer timer;
    timer.start();
    if (!missing.empty()) {
        try {
            session.Start(what, [&finished](unsigned band, double) {
                finished[band].store(true, std::memory_order_release);
            });
        } catch (const std::system_error& e) {
            // The session stops and joins whatever threads did start.
            err << kProgramName << ": cannot start " << what.threads << " threads: " << e.what()
                << '\n';
            return kExitLoadFailed;
        }
    }
    std::uint64_t rows = 0;
    for (const Band& band : session.GetBands()) {
        rows += band.y1 - band.y0;
    }
    ProgressDisplay progress(err, errIsTerminal, missing.empty() ? 0 : rows);
    // The picture: the rendered bands, and those kept from the part file.
    const auto composePicture = [&] {
        const std::vector<Band> bands = SplitIntoBands(picture.height, what.bands);
        if (floatOutput) {
            for (const unsigned band : held) {
                CopyBandRows(*kept.colors, *session.GetColors(), bands[band]);
            }
            return;
        }
        CopyPicture(*session.GetPixels(), image);
        for (const unsigned band : held) {
            CopyBandRows(kept.image, image, bands[band]);
        }
    };
    // Writes the composed picture to `file`, labelled as a part file when `part` is given; 8-bit
    // pictures in `format`.
    const auto writePicture = [&](PictureFile& file, const PartDescription* part,
                                  const QByteArray& format,
                                  const std::function<bool()>& abandon = {}) {
        if (floatOutput) {
            return file.WriteColors(*session.GetColors(),
                                    part != nullptr ? ExrPartLabels(*part) : PictureLabels(),
                                    abandon);
        }
        if (part != nullptr) {
            LabelPart(image, *part);
        }
        return file.Write(image, format, abandon);
    };
    while (!missing.empty() && session.IsRunning()) {
        if (interrupt.Requested()) {
            session.Stop();
            progress.End();
            std::vector<unsigned> done = held;
            for (const unsigned band : missing) {
                if (finished[band].load(std::memory_order_acquire)) {
                    done.push_back(band);
                }
            }
            std::sort(done.begin(), done.end());
            if (done.empty()) {
                return ReportInterrupted(err);
            }
            composePicture();
            description.held = done;
            PictureFile partial(partialPath);
            const PictureWrite written = writePicture(partial, &description, "png");
            if (written.outcome != PictureWrite::Outcome::Written) {
                err << kProgramName << ": " << written.error.toStdString() << '\n';
                return ReportInterrupted(err);
            }
            err << kProgramName << ": interrupted; " << done.size() << " of " << wanted.size()
                << " bands done, kept in " << PrintableFileName(partialPath).toStdString()
                << " (the same command with --resume finishes the picture)\n";
            return kExitInterrupted;
        }
        progress.Update(session.RowsFinished(), timer);
        std::this_thread::sleep_for(kPollInterval);
    }
    session.Wait();
    const double seconds = session.ElapsedSeconds();
    progress.Update(session.RowsFinished(), timer, true);
    progress.End();

    composePicture();
    if (options.partOutput) {
        description.held = wanted;
    }
    // The image holds the 8-bit picture now; give the memory back before encoding. (The floats
    // are encoded from the session's colours.)
    if (!floatOutput) {
        session.ReleasePicture();
    }
    const PictureWrite written =
        writePicture(output, options.partOutput ? &description : nullptr, options.format,
                     [&] { return interrupt.Requested(); });
    switch (written.outcome) {
        case PictureWrite::Outcome::Abandoned:
            return ReportInterrupted(err);
        case PictureWrite::Outcome::Failed:
            err << kProgramName << ": " << written.error.toStdString() << '\n';
            return kExitUnreadable;
        case PictureWrite::Outcome::Written:
            break;
    }
    if (!held.empty() && !QFile::remove(partialPath)) {
        err << kProgramName << ": warning: wrote the picture but cannot remove "
            << PrintableFileName(partialPath).toStdString() << '\n';
    }
    if (errIsTerminal) {
        err << "wrote " << PrintableFileName(options.outputPath).toStdString() << " ("
            << picture.width << 'x' << picture.height << ", "
            << QString::number(seconds, 'f', 2).toStdString() << " s)\n";
    }
    if (options.stats) {
        const QByteArray json = StatsJson(what, seconds, loadSeconds, session.Rays());
        if (!WriteStandardOutput(out, err, std::string_view(json.constData(), json.size()))) {
            return kExitUnreadable;
        }
    }
    return kExitOk;
}

}  // namespace lumivex
