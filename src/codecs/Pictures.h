#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include <QSize>
#include <QString>

class QImage;
class QLabel;

namespace nuv {

class IShell;

// The file-dialog filter under which PNG pictures are listed.
QString PngDialogFilter();

// Every picture file is read at most this large: a larger one is scaled down, keeping its
// proportions, while it is decoded, so the picture itself never needs more than 16 MB.
// JPEG and SVG decode at the smaller size directly; other formats decode every pixel
// (PNG row by row) and cost time in proportion, so a file whose header claims more
// pixels than the limit of its kind is not decoded at all: a decompression bomb, or a
// picture too large to show without freezing the window.
inline constexpr QSize kLargestPicture{2048, 2048};
inline constexpr qint64 kMostScaledPixels = qint64{1} << 27;   // about 134 million
inline constexpr qint64 kMostDecodedPixels = qint64{1} << 25;  // about 33 million

// Decodes a picture file with the bounds above; `format` null decides by the content.
// Returns a null image when the file cannot be decoded or is too large to decode.
QImage ReadPicture(const std::string& fileName, const char* format);

// Loads Qt's picture decoders, which it otherwise does on the first picture read. Any thread.
void LoadPictureDecoders();

// The size of the picture in the file as its header gives it, without decoding it; an
// invalid size when the file is no picture Qt reads.
QSize PictureFileSize(const std::string& fileName);

// The 64-bit difference hash of the picture in the file: the picture (within the bounds of
// ReadPicture, decoded at about 64 pixels where its format allows) in grey, scaled to 9 by
// 8 pixels; bit 8 * row + column is set when the pixel
// is brighter than its right neighbour. Pictures that look alike, a scaled copy among
// them, differ in a few bits. Nothing when the file cannot be decoded.
// `size`, when given, gets the size the file's header gives (invalid for no picture).
std::optional<std::uint64_t> PictureDifferenceHash(const std::string& fileName, QSize* size = nullptr);

// Decodes a PNG file into the image control as a picture of the PNG's size; on failure
// the control keeps what it showed.
void LoadPngPicture(QLabel* image, const std::string& fileName);

// Decodes a JPEG file into the image control; on failure hands the file to the desktop.
void LoadJpegPicture(QLabel* image, const std::string& fileName, IShell& shell);

// Reads a BMP file into the image control. Returns false, leaving the control as it
// was, when the file is no readable bitmap.
bool LoadBmpPicture(QLabel* image, const std::string& fileName);

// Decodes any picture format the program reads (GIF (first frame), ICO, BMP, JPEG, PNG,
// SVG, TIFF, WebP) into the image control and shows it. On failure hides the control,
// hands the file to the desktop and returns false.
bool LoadOlePicture(QLabel* image, const std::string& fileName, IShell& shell);

}  // namespace nuv
