#pragma once

#include <QColor>
#include <QFont>
#include <QString>

class QLabel;
class QLineEdit;
class QListWidget;
class QToolButton;
class QWidget;

// Small helpers with which the windows build their design-named components.
namespace nuv {

// The background of the program's panels and of its frame artwork.
inline const QColor kPanelColour(0xF5, 0xFA, 0xFE);
inline const QColor kFrameColour(0xF5, 0xFF, 0xFA);

// A font asked for by name at a character height in pixels; the system substitutes an
// installed face (a CJK one for the Chinese names).
QFont PixelFont(const char* family, int pixels);

// Fills the widget's background with `colour`.
void Paint(QWidget* w, const QColor& colour);

// Gives `w` its design name as object name, so that tests and tools find it.
template <typename T>
T* Named(T* w, const char* name) {
    w->setObjectName(QString::fromLatin1(name));
    return w;
}

// A flat button at the given design geometry.
QToolButton* FlatButton(QWidget* parent, const char* name, int x, int y, int w, int h);

// A rounded white box drawn behind an edit box.
QLabel* BoxBackground(QWidget* parent, const char* name);

// The button glyph of the "bmp" resource `resource`; the button stays as it is when missing.
void SetGlyph(QToolButton* b, const char* resource);

// The title picture of the "jpg" resource `resource`.
void SetTitlePicture(QLabel* l, const char* resource);

// Sets the base colour of an edit box.
void SetEditColour(QLineEdit* e, const QColor& c);

// The row of the selected entry of a single-selection list, -1 when none is selected.
// The current row may differ: the list makes a row current on focus without selecting it.
int SelectedRow(const QListWidget* list);

// Sets the name and description under which assistive technology reads `w`.
void SetAccessibleText(QWidget* w, const QString& name, const QString& description = {});

}  // namespace nuv
