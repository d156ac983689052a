#include "io/exr_file.h"

#include <algorithm>
#include <cstdint>
#include <exception>
#include <new>

#include <Iex.h>
#include <ImfChannelList.h>
#include <ImfFrameBuffer.h>
#include <ImfHeader.h>
#include <ImfIO.h>
#include <ImfInputFile.h>
#include <ImfOutputFile.h>
#include <ImfStringAttribute.h>
#include <ImfTestFile.h>
#include <QFile>

namespace lumivex {

namespace {

constexpr const char* kChannels[ColorBuffer::kChannels] = {"R", "G", "B"};
constexpr std::size_t kPixelBytes = ColorBuffer::kChannels * sizeof(float);

// At most this much goes to the file between two looks at the stop request.
constexpr int kWritePiece = 1 << 20;

// What OpenEXR writes to: the atomic file's temporary file, at any position (the table of line
// offsets is written last, at the front, when the OutputFile is destroyed). A stop request or a
// failed write makes every further write throw, which OpenEXR passes on, or swallows in its
// destructor; the flags say afterwards what happened.
class AtomicFileStream : public Imf::OStream {
  public:
    AtomicFileStream(AtomicFile& file, const std::function<bool()>& abandon)
        : Imf::OStream("picture"), file(file), abandon(abandon) {}

    bool Abandoned() const { return abandoned; }

    void write(const char data[], int size) override {
        for (int done = 0; done < size; done += kWritePiece) {
            abandoned = abandoned || (abandon && abandon());
            if (abandoned) {
                throw Iex::IoExc("the picture was abandoned");
            }
            const int piece = std::min(size - done, kWritePiece);
            if (!file.WriteAt(static_cast<std::int64_t>(position) + done, data + done,
                              static_cast<std::size_t>(piece))) {
                throw Iex::IoExc(file.GetFailure().toStdString());
            }
        }
        position += static_cast<std::uint64_t>(size);
    }
    std::uint64_t tellp() override { return position; }
    void seekp(std::uint64_t to) override { position = to; }

  private:
    AtomicFile& file;
    const std::function<bool()>& abandon;
    bool abandoned = false;
    std::uint64_t position = 0;
};

// The three float slices of one row of `row`: with a y stride of 0, every scan line the library
// reads or writes through them is this row, which lets the file's top-down rows map to the
// buffer's bottom-up ones one at a time. `firstX` is the data window's left edge.
Imf::FrameBuffer RowSlices(const float* row, int firstX) {
    Imf::FrameBuffer slices;
    for (std::size_t channel = 0; channel < ColorBuffer::kChannels; ++channel) {
        // OpenEXR addresses pixel x at base + x * xStride; the buffer's row starts at firstX.
        char* base = reinterpret_cast<char*>(const_cast<float*>(row + channel)) -
                     static_cast<std::ptrdiff_t>(firstX) * static_cast<std::ptrdiff_t>(kPixelBytes);
        slices.insert(kChannels[channel], Imf::Slice(Imf::FLOAT, base, kPixelBytes, 0));
    }
    return slices;
}

}  // namespace

bool IsExrFile(const QString& path) {
    QFile file(path);
    char magic[4] = {};
    return file.open(QIODevice::ReadOnly) && file.read(magic, sizeof magic) == sizeof magic &&
           magic[0] == 0x76 && magic[1] == 0x2f && magic[2] == 0x31 && magic[3] == 0x01;
}

ExrEncoding EncodeExr(const ColorBuffer& colors, const PictureLabels& labels, AtomicFile& file,
                      const std::function<bool()>& abandon) {
    const int width = static_cast<int>(colors.GetWidth());
    const int height = static_cast<int>(colors.GetHeight());
    // ZIP, OpenEXR's default, is lossless: every float reads back with the same bits.
    Imf::Header header(width, height);
    for (const char* channel : kChannels) {
        header.channels().insert(channel, Imf::Channel(Imf::FLOAT));
    }
    for (auto label = labels.begin(); label != labels.end(); ++label) {
        header.insert(label.key().toStdString(), Imf::StringAttribute(label.value().toStdString()));
    }
    AtomicFileStream stream(file, abandon);
    QString error;
    try {
        // One thread: the rendering threads are done, and the file is written in order.
        Imf::OutputFile out(stream, header, 0);
        for (int line = 0; line < height; ++line) {
            out.setFrameBuffer(
                RowSlices(colors.Row(static_cast<std::uint32_t>(height - 1 - line)), 0));
            out.writePixels(1);
        }
    } catch (const std::exception& e) {
        error = e.what();
    }
    if (stream.Abandoned()) {
        return {true, {}};
    }
    // When the file refused the bytes, its own failure says why (disk full, say); a failure while
    // the line offsets were written shows only there.
    if (!file.GetFailure().isEmpty()) {
        return {false, file.GetFailure()};
    }
    return {false, error};
}

ExrPicture ReadExr(const QString& path) {
    ExrPicture picture;
    try {
        Imf::InputFile in(QFile::encodeName(path).constData(), 0);
        const Imf::Header& header = in.header();
        for (const char* channel : kChannels) {
            if (header.channels().findChannel(channel) == nullptr) {
                picture.problem = "it has no R, G and B channels";
                return picture;
            }
        }
        if (!in.isComplete()) {
            picture.problem = "it is incomplete";
            return picture;
        }
        for (auto attribute = header.begin(); attribute != header.end(); ++attribute) {
            if (const auto* text =
                    dynamic_cast<const Imf::StringAttribute*>(&attribute.attribute())) {
                picture.labels.insert(QString::fromStdString(attribute.name()),
                                      QString::fromStdString(text->value()));
            }
        }
        const Imath::Box2i window = header.dataWindow();
        const auto width = static_cast<std::uint32_t>(window.max.x - window.min.x + 1);
        const auto height = static_cast<std::uint32_t>(window.max.y - window.min.y + 1);
        ColorBuffer& colors = picture.colors.emplace(width, height);
        for (std::uint32_t line = 0; line < height; ++line) {
            in.setFrameBuffer(RowSlices(colors.Row(height - 1 - line), window.min.x));
            in.readPixels(window.min.y + static_cast<int>(line));
        }
    } catch (const std::bad_alloc&) {
        picture.problem = "not enough memory for its pixels";
    } catch (const std::exception& e) {
        picture.problem = QString::fromStdString(e.what());
    }
    if (!picture.problem.isEmpty()) {
        picture.colors.reset();
    }
    return picture;
}

}  // namespace lumivex
