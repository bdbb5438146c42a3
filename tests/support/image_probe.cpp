#include "tests/support/image_probe.h"

#include <gif_lib.h>
#include <png.h>
#include <tiffio.h>
#include <turbojpeg.h>

#include <QImage>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <limits>

namespace tovrel::testing {

namespace {

std::vector<uint8_t> readAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
}

bool startsWith(const std::vector<uint8_t>& bytes, const char* magic, size_t length) {
    return bytes.size() >= length && std::memcmp(bytes.data(), magic, length) == 0;
}

void decodeJpeg(const std::vector<uint8_t>& bytes, DecodedImage& image) {
    tjhandle handle = tjInitDecompress();
    int width = 0, height = 0, subsampling = 0, colourspace = 0;
    if (tjDecompressHeader3(handle, bytes.data(), bytes.size(), &width, &height, &subsampling,
                            &colourspace) != 0) {
        image.error = tjGetErrorStr2(handle);
    } else {
        image.width = width;
        image.height = height;
        image.bgr.resize(static_cast<size_t>(width) * height * 3);
        if (tjDecompress2(handle, bytes.data(), bytes.size(), image.bgr.data(), width, width * 3,
                          height, TJPF_BGR, 0) != 0) {
            image.error = tjGetErrorStr2(handle);
        }
    }
    tjDestroy(handle);
}

void decodePng(const std::string& path, DecodedImage& image) {
    png_image png{};
    png.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_file(&png, path.c_str())) {
        image.error = png.message;
        return;
    }
    if (png.format & PNG_FORMAT_FLAG_ALPHA) image.error = "the file carries an alpha channel";
    png.format = PNG_FORMAT_BGR;
    image.width = static_cast<int>(png.width);
    image.height = static_cast<int>(png.height);
    image.bgr.resize(PNG_IMAGE_SIZE(png));
    if (!png_image_finish_read(&png, nullptr, image.bgr.data(), 0, nullptr)) {
        image.error = png.message;
    }
    png_image_free(&png);
}

void decodeTiff(const std::string& path, DecodedImage& image) {
    TIFF* tiff = TIFFOpen(path.c_str(), "r");
    if (tiff == nullptr) {
        image.error = "TIFFOpen failed";
        return;
    }
    uint32_t width = 0, height = 0;
    uint16_t samples = 0;
    TIFFGetField(tiff, TIFFTAG_IMAGEWIDTH, &width);
    TIFFGetField(tiff, TIFFTAG_IMAGELENGTH, &height);
    TIFFGetFieldDefaulted(tiff, TIFFTAG_SAMPLESPERPIXEL, &samples);
    if (samples != 3) image.error = "not three samples per pixel";
    std::vector<uint32_t> abgr(static_cast<size_t>(width) * height);
    if (!TIFFReadRGBAImageOriented(tiff, width, height, abgr.data(), ORIENTATION_TOPLEFT, 0)) {
        image.error = "TIFFReadRGBAImageOriented failed";
    }
    TIFFClose(tiff);
    image.width = static_cast<int>(width);
    image.height = static_cast<int>(height);
    for (uint32_t pixel : abgr) {
        image.bgr.push_back(static_cast<uint8_t>(TIFFGetB(pixel)));
        image.bgr.push_back(static_cast<uint8_t>(TIFFGetG(pixel)));
        image.bgr.push_back(static_cast<uint8_t>(TIFFGetR(pixel)));
    }
}

void decodeGif(const std::string& path, DecodedImage& image) {
    int error = 0;
    GifFileType* gif = DGifOpenFileName(path.c_str(), &error);
    if (gif == nullptr) {
        image.error = GifErrorString(error);
        return;
    }
    if (DGifSlurp(gif) != GIF_OK || gif->ImageCount < 1) {
        image.error = GifErrorString(gif->Error);
    } else {
        const SavedImage& frame = gif->SavedImages[0];
        const ColorMapObject* map =
            frame.ImageDesc.ColorMap ? frame.ImageDesc.ColorMap : gif->SColorMap;
        image.width = frame.ImageDesc.Width;
        image.height = frame.ImageDesc.Height;
        if (map == nullptr || frame.ImageDesc.Interlace) {
            image.error = "no colour map, or interlaced";
        } else {
            const size_t pixels = static_cast<size_t>(image.width) * image.height;
            for (size_t i = 0; i < pixels; ++i) {
                const GifColorType& c = map->Colors[frame.RasterBits[i]];
                image.bgr.push_back(c.Blue);
                image.bgr.push_back(c.Green);
                image.bgr.push_back(c.Red);
            }
        }
    }
    DGifCloseFile(gif, &error);
}

void decodeBmp(const std::string& path, DecodedImage& image) {
    QImage read;
    if (!read.load(QString::fromStdString(path), "BMP")) {
        image.error = "QImage cannot read it";
        return;
    }
    image.width = read.width();
    image.height = read.height();
    for (int y = 0; y < read.height(); ++y) {
        for (int x = 0; x < read.width(); ++x) {
            const QRgb pixel = read.pixel(x, y);
            image.bgr.push_back(static_cast<uint8_t>(qBlue(pixel)));
            image.bgr.push_back(static_cast<uint8_t>(qGreen(pixel)));
            image.bgr.push_back(static_cast<uint8_t>(qRed(pixel)));
        }
    }
}

}  // namespace

DecodedImage decodeImageFile(const std::string& path) {
    DecodedImage image;
    const std::vector<uint8_t> bytes = readAll(path);
    if (startsWith(bytes, "\xFF\xD8\xFF", 3)) {
        image.container = "jpeg";
        decodeJpeg(bytes, image);
    } else if (startsWith(bytes, "\x89PNG\r\n\x1A\n", 8)) {
        image.container = "png";
        decodePng(path, image);
    } else if (startsWith(bytes, "II*\0", 4) || startsWith(bytes, "MM\0*", 4)) {
        image.container = "tiff";
        decodeTiff(path, image);
    } else if (startsWith(bytes, "GIF8", 4)) {
        image.container = "gif";
        decodeGif(path, image);
    } else if (startsWith(bytes, "BM", 2)) {
        image.container = "bmp";
        decodeBmp(path, image);
    } else {
        image.error = bytes.empty() ? "empty or missing file" : "unknown container";
    }
    if (image.error.empty() &&
        image.bgr.size() != static_cast<size_t>(image.width) * image.height * 3) {
        image.error = "the pixels do not match the size";
    }
    return image;
}

void cornerPatternPixel(int width, int height, int corner, int x, int y, uint8_t bgr[3]) {
    const bool left = x < corner, right = x >= width - corner;
    const bool top = y < corner, bottom = y >= height - corner;
    auto set = [&](uint8_t b, uint8_t g, uint8_t r) {
        bgr[0] = b;
        bgr[1] = g;
        bgr[2] = r;
    };
    if (top && left) return set(0, 0, 255);
    if (top && right) return set(0, 255, 0);
    if (bottom && left) return set(255, 0, 0);
    if (bottom && right) return set(255, 255, 255);
    set(static_cast<uint8_t>(40 + x * 160 / width), static_cast<uint8_t>(40 + y * 160 / height),
        static_cast<uint8_t>(120 + (x + y) * 60 / (width + height)));
}

std::vector<uint8_t> cornerPattern(int width, int height, int corner) {
    std::vector<uint8_t> pixels(static_cast<size_t>(width) * height * 4);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            uint8_t* at = pixels.data() + (static_cast<size_t>(y) * width + x) * 4;
            cornerPatternPixel(width, height, corner, x, y, at);
            at[3] = 0x5A;
        }
    }
    return pixels;
}

std::vector<uint8_t> bgrOf(const uint8_t* bgrx, int width, int height, int stride) {
    std::vector<uint8_t> out;
    out.reserve(static_cast<size_t>(width) * height * 3);
    for (int y = 0; y < height; ++y) {
        const uint8_t* row = bgrx + static_cast<size_t>(y) * stride;
        for (int x = 0; x < width; ++x) out.insert(out.end(), row + x * 4, row + x * 4 + 3);
    }
    return out;
}

double psnr(const std::vector<uint8_t>& a, const std::vector<uint8_t>& b) {
    if (a.size() != b.size() || a.empty()) return 0.0;
    double squares = 0.0;
    for (size_t i = 0; i < a.size(); ++i) {
        const double d = static_cast<double>(a[i]) - b[i];
        squares += d * d;
    }
    if (squares == 0.0) return std::numeric_limits<double>::infinity();
    return 10.0 * std::log10(255.0 * 255.0 / (squares / static_cast<double>(a.size())));
}

int maxDifference(const std::vector<uint8_t>& a, const std::vector<uint8_t>& b) {
    if (a.size() != b.size()) return 256;
    int worst = 0;
    for (size_t i = 0; i < a.size(); ++i) worst = std::max(worst, std::abs(a[i] - b[i]));
    return worst;
}

}  // namespace tovrel::testing
