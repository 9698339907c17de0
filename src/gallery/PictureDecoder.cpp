#include "PictureDecoder.h"

#include <QFile>
#include <QImageReader>

#include <algorithm>
#include <cmath>
#include <csetjmp>
#include <cstdio>
#include <memory>

#include <fcntl.h>
#include <unistd.h>

// jpeglib.h needs FILE and size_t declared before it.
#include <jerror.h>
#include <jpeglib.h>

namespace {

const QString PictureExtensions = QStringLiteral("gif jpeg jpg");
const QString VideoExtensions = QStringLiteral("asf avi mpeg mpg");

// ---- libjpeg with an error manager that returns -------------------------
//
// libjpeg reports a fatal error by calling error_exit, whose default prints
// and calls exit(). Ours jumps back to RunGuarded instead. The jump crosses
// only libjpeg's C frames and ReadJpeg, which holds nothing that needs
// destroying while it calls into libjpeg; everything the decoding touches
// lives in the heap-allocated JpegJob, so nothing is lost to the jump.

struct JpegErrorManager {
    jpeg_error_mgr Pub; // first, so that libjpeg's pointer is ours
    std::jmp_buf JumpBack;
};

[[noreturn]] void JumpBack(j_common_ptr info) {
    auto* err = reinterpret_cast<JpegErrorManager*>(info->err);
    std::longjmp(err->JumpBack, 1);
}

// Nothing of libjpeg goes to stderr.
void DropMessage(j_common_ptr) {}

// Warnings are dropped, except running out of data: libjpeg would pad a
// truncated file, or scan data that stops at a marker before the picture is
// complete ("premature end of data segment"), with grey and call it a
// picture.
void EmitMessage(j_common_ptr info, int level) {
    if (level >= 0) return;
    const int code = info->err->msg_code;
    if (code == JWRN_JPEG_EOF || code == JWRN_HIT_MARKER) JumpBack(info);
    ++info->err->num_warnings;
}

// A progressive JPEG may have any number of scans, each a pass over the
// whole picture; a crafted one with thousands of tiny scans is refused.
void CheckProgress(j_common_ptr info) {
    if (!info->is_decompressor) return;
    auto* decompress = reinterpret_cast<j_decompress_ptr>(info);
    if (decompress->input_scan_number > PictureDecoder::MaxJpegScans) JumpBack(info);
}

struct JpegJob {
    jpeg_decompress_struct Info{};
    JpegErrorManager Error{};
    jpeg_progress_mgr Progress{};
    bool Created = false;
    std::FILE* File = nullptr;
    QSize DeviceBox;
    QImage Image;
    QSize FullSize;
    int Scale = 1;
    bool TooLarge = false;

    ~JpegJob() {
        if (Created) jpeg_destroy_decompress(&Info);
        if (File != nullptr) std::fclose(File);
    }
};

// CMYK rows as libjpeg delivers them, four bytes a pixel, turned into RGB32
// in place. Adobe writes the inks inverted (0 is full ink), as almost every
// CMYK JPEG does.
void CmykRowToRgb(uchar* row, int width, bool inverted) {
    auto* pixel = reinterpret_cast<quint32*>(row);
    for (int x = 0; x < width; ++x) {
        int c = row[4 * x], m = row[4 * x + 1], y = row[4 * x + 2], k = row[4 * x + 3];
        if (!inverted) {
            c = 255 - c;
            m = 255 - m;
            y = 255 - y;
            k = 255 - k;
        }
        pixel[x] = qRgb(c * k / 255, m * k / 255, y * k / 255);
    }
}

// Every libjpeg call of a decoding; a libjpeg error jumps from inside back to
// RunGuarded. Returns false without a jump when the picture is refused.
bool ReadJpeg(JpegJob* job) {
    jpeg_decompress_struct* info = &job->Info;
    jpeg_create_decompress(info);
    job->Created = true;
    info->mem->max_memory_to_use = PictureDecoder::JpegMemoryLimit;
    info->progress = &job->Progress;
    jpeg_stdio_src(info, job->File);
    jpeg_read_header(info, TRUE);

    job->FullSize =
        QSize(static_cast<int>(info->image_width), static_cast<int>(info->image_height));
    job->Scale = job->DeviceBox.isValid()
                     ? ChooseJpegScale(job->FullSize.width(), job->FullSize.height(),
                                       job->DeviceBox.width(), job->DeviceBox.height())
                     : 1;
    if (job->Scale == 0) return false;
    // Decoding at a reduced scale still reads every block of the source.
    if (std::int64_t(job->FullSize.width()) * job->FullSize.height() >
        PictureDecoder::MaxSourcePixels) {
        job->TooLarge = true;
        return false;
    }
    info->scale_num = 1;
    info->scale_denom = static_cast<unsigned>(job->Scale);

    const bool cmyk = info->jpeg_color_space == JCS_CMYK || info->jpeg_color_space == JCS_YCCK;
    if (cmyk) {
        info->out_color_space = JCS_CMYK;
    } else {
        // RGB32 is 0xffRRGGBB in native order; the alpha variants fill 0xff.
        info->out_color_space = Q_BYTE_ORDER == Q_LITTLE_ENDIAN ? JCS_EXT_BGRA : JCS_EXT_ARGB;
    }
    jpeg_calc_output_dimensions(info);
    const std::int64_t pixels = std::int64_t(info->output_width) * info->output_height;
    if (pixels > PictureDecoder::MaxPixels) {
        job->TooLarge = true;
        return false;
    }

    job->Image = QImage(static_cast<int>(info->output_width), static_cast<int>(info->output_height),
                        QImage::Format_RGB32);
    if (job->Image.isNull()) return false;

    jpeg_start_decompress(info);
    while (info->output_scanline < info->output_height) {
        const int y = static_cast<int>(info->output_scanline);
        JSAMPROW row = job->Image.scanLine(y);
        if (jpeg_read_scanlines(info, &row, 1) != 1) return false;
        if (cmyk) CmykRowToRgb(row, job->Image.width(), info->saw_Adobe_marker);
    }
    // Every row is in; whatever follows the last scan is not read.
    return true;
}

// The one frame holding the jump target; it keeps no state of its own, so
// nothing here is indeterminate after the jump.
bool RunGuarded(JpegJob* job) {
    if (setjmp(job->Error.JumpBack) != 0) return false;
    return ReadJpeg(job);
}

bool StartsWith(const QByteArray& head, const char* signature, int length) {
    return head.size() >= length && std::equal(signature, signature + length, head.constData());
}

} // namespace

QString MediaExtension(std::string_view fileName) {
    const std::size_t slash = fileName.rfind('/');
    const std::size_t dot = fileName.rfind('.');
    if (dot == std::string_view::npos || (slash != std::string_view::npos && dot < slash) ||
        dot == fileName.size() - 1)
        return {};
    const std::string_view extension = fileName.substr(dot + 1);
    return QString::fromUtf8(extension.data(), qsizetype(extension.size())).toLower();
}

MediaKind MediaKindOf(const QString& extension) {
    if (extension.isEmpty()) return MediaKind::None;
    if (PictureExtensions.contains(extension)) return MediaKind::Picture;
    if (VideoExtensions.contains(extension)) return MediaKind::Video;
    return MediaKind::None;
}

bool FitsBox(int width, int height, int percent, int boxWidth, int boxHeight) {
    // A box without area would divide by zero; it is fitted as the smallest.
    boxWidth = std::max(boxWidth, 1);
    boxHeight = std::max(boxHeight, 1);
    const std::int64_t w = std::int64_t(width) * percent / 100;
    const std::int64_t h = std::int64_t(height) * percent / 100;
    return w * 100 / boxWidth <= 150 && h * 100 / boxHeight <= 150;
}

int ChooseJpegScale(int width, int height, int boxWidth, int boxHeight) {
    if (width <= 0 || height <= 0) return 0;
    if (FitsBox(width, height, 100, boxWidth, boxHeight)) return 1;
    if (FitsBox(width, height, 50, boxWidth, boxHeight)) return 2;
    if (FitsBox(width, height, 25, boxWidth, boxHeight)) return 4;
    return 8;
}

DecodedPicture PictureDecoder::DecodeJpeg(const std::string& path, QSize deviceBox) {
    DecodedPicture result;
    auto job = std::make_unique<JpegJob>();
    job->File = std::fopen(path.c_str(), "rb");
    if (job->File == nullptr) {
        result.Failure = DecodeFailure::Unreadable;
        return result;
    }
    job->DeviceBox = deviceBox;
    job->Info.err = jpeg_std_error(&job->Error.Pub);
    job->Error.Pub.error_exit = JumpBack;
    job->Error.Pub.emit_message = EmitMessage;
    job->Error.Pub.output_message = DropMessage;
    job->Progress.progress_monitor = CheckProgress;

    const bool ok = RunGuarded(job.get());
    result.FullSize = job->FullSize;
    result.ScaleDenominator = job->Scale;
    if (!ok) {
        result.Failure = job->TooLarge ? DecodeFailure::TooLarge : DecodeFailure::Damaged;
        return result;
    }
    result.Image = std::move(job->Image);
    return result;
}

DecodedPicture PictureDecoder::DecodeGif(const std::string& path) {
    DecodedPicture result;
    // Opened by its bytes, then read through QFile: a QString name would not
    // reach a file whose name is not UTF-8.
    QFile file;
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0 || !file.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
        if (fd >= 0) ::close(fd);
        result.Failure = DecodeFailure::Unreadable;
        return result;
    }
    QImageReader reader(&file, "gif");
    if (!reader.canRead()) {
        result.Failure = DecodeFailure::Damaged;
        return result;
    }
    // The logical screen of the header bounds the picture: refuse it before
    // anything is allocated. The allocation limit is the second line, for
    // whatever the header does not tell.
    result.FullSize = reader.size();
    if (std::int64_t(result.FullSize.width()) * result.FullSize.height() > MaxPixels) {
        result.Failure = DecodeFailure::TooLarge;
        return result;
    }
    // The limit is the process's; set once, as pictures decode on several
    // threads.
    static const bool limitSet = [] {
        QImageReader::setAllocationLimit(static_cast<int>(MaxPixels * 4 / (1024 * 1024)));
        return true;
    }();
    (void)limitSet;
    QImage image;
    if (!reader.read(&image) || image.isNull()) {
        result.Failure = DecodeFailure::Damaged;
        return result;
    }
    result.FullSize = image.size();
    result.Image = std::move(image);
    return result;
}

DecodedPicture PictureDecoder::Decode(const std::string& path, QSize logicalBox,
                                      qreal devicePixelRatio) {
    if (!(devicePixelRatio > 0)) devicePixelRatio = 1.0;
    const QString extension = MediaExtension(path);
    const QSize deviceBox(static_cast<int>(std::lround(logicalBox.width() * devicePixelRatio)),
                          static_cast<int>(std::lround(logicalBox.height() * devicePixelRatio)));

    DecodedPicture result;
    if (extension == QLatin1String("jpg") || extension == QLatin1String("jpeg")) {
        result = DecodeJpeg(path, deviceBox);
    } else if (extension == QLatin1String("gif")) {
        result = DecodeGif(path);
    } else {
        QByteArray head;
        if (std::FILE* file = std::fopen(path.c_str(), "rb")) {
            char bytes[4];
            head = QByteArray(bytes, qsizetype(std::fread(bytes, 1, sizeof bytes, file)));
            std::fclose(file);
        }
        if (StartsWith(head, "\xFF\xD8\xFF", 3)) {
            result = DecodeJpeg(path, QSize());
        } else if (StartsWith(head, "GIF8", 4)) {
            result = DecodeGif(path);
        } else {
            result.Failure = DecodeFailure::Unreadable;
        }
    }
    if (result.Ok()) result.Image.setDevicePixelRatio(devicePixelRatio);
    return result;
}
