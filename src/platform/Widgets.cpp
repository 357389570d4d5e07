#include "platform/Widgets.h"

#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPalette>
#include <QPixmap>
#include <QToolButton>

#include "platform/QtResources.h"

namespace nuv {

QFont PixelFont(const char* family, int pixels) {
    QFont f(QString::fromUtf8(family));
    f.setPixelSize(pixels);
    return f;
}

void Paint(QWidget* w, const QColor& colour) {
    w->setAutoFillBackground(true);
    QPalette p = w->palette();
    p.setColor(QPalette::Window, colour);
    w->setPalette(p);
}

QToolButton* FlatButton(QWidget* parent, const char* name, int x, int y, int w, int h) {
    auto* b = Named(new QToolButton(parent), name);
    b->setAutoRaise(true);
    b->setGeometry(x, y, w, h);
    return b;
}

QLabel* BoxBackground(QWidget* parent, const char* name) {
    auto* l = Named(new QLabel(parent), name);
    l->setScaledContents(true);
    l->setStyleSheet(QStringLiteral("background:#FFFFFF; border:1px solid #9DB9D5; border-radius:4px;"));
    return l;
}

void SetGlyph(QToolButton* b, const char* resource) {
    QPixmap pm;
    LoadBitmapResource(pm, resource, "bmp");
    if (pm.isNull()) return;
    b->setIcon(pm);
    b->setIconSize(pm.size());
}

void SetTitlePicture(QLabel* l, const char* resource) {
    QPixmap pm;
    LoadJpegResource(pm, resource, "jpg");
    if (!pm.isNull()) l->setPixmap(pm);
}

void SetEditColour(QLineEdit* e, const QColor& c) {
    QPalette p = e->palette();
    p.setColor(QPalette::Base, c);
    e->setPalette(p);
}

int SelectedRow(const QListWidget* list) {
    const QList<QListWidgetItem*> selected = list->selectedItems();
    return selected.isEmpty() ? -1 : list->row(selected.first());
}

void SetAccessibleText(QWidget* w, const QString& name, const QString& description) {
    w->setAccessibleName(name);
    if (!description.isEmpty()) w->setAccessibleDescription(description);
}

}  // namespace nuv
