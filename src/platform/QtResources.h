#pragma once

#include <string>
#include <vector>

#include <QPixmap>
#include <QString>

class QWidget;

// The program's own resources (button glyphs, banners, text templates), looked up by
// name and type without regard to case. A missing or unreadable resource leaves the
// target as it was.
namespace nuv {

// Initialises the compiled-in resources; call once before the first lookup.
void InitResources();
void LoadBitmapResource(QPixmap& bitmap, const std::string& name, const std::string& type);
void LoadJpegResource(QPixmap& graphic, const std::string& name, const std::string& type);
// The lines of the text resource `name` (type "TXT"), or an empty list when missing.
std::vector<std::string> LoadTextResource(const std::string& name);
// The text of the page script `name` (type "js", a file of resources/js/), "" when missing.
QString LoadScriptResource(const std::string& name);

// Brings `window` to the front and shows it with a 500 ms fade-in.
void ShowFormAnimated(QWidget* window);

}  // namespace nuv
