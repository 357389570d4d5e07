#pragma once

#include <string>

#include <QString>

class QLabel;

namespace nuv {

class IShell;

// The file-dialog filter under which PNG pictures are listed.
QString PngDialogFilter();

// Decodes a PNG file into the image control as a picture of the PNG's size; on failure
// the control keeps what it showed.
void LoadPngPicture(QLabel* image, const std::string& fileName);

// Decodes a JPEG file into the image control; on failure hands the file to the desktop.
void LoadJpegPicture(QLabel* image, const std::string& fileName, IShell& shell);

// Decodes any picture format the program reads (GIF, ICO, BMP, JPEG, PNG, SVG, TIFF,
// WebP) into the image control and shows it. On failure hides the control, hands the
// file to the desktop and returns false.
bool LoadOlePicture(QLabel* image, const std::string& fileName, IShell& shell);

}  // namespace nuv
