#include "platform/QtResources.h"

#include <QFile>
#include <QPropertyAnimation>
#include <QWidget>

#include "common/Resources.h"
#include "common/Text.h"
#include "platform/QtText.h"

static void InitCompiledResources() { Q_INIT_RESOURCE(resources); }

namespace nuv {
namespace {

QString ResourcePath(const std::string& name, const std::string& type) {
    return FromUtf8(std::string(ResourcePrefix) + ResourceFile(name, type));
}

void LoadPicture(QPixmap& target, const std::string& name, const std::string& type, const char* format) {
    QPixmap p;
    if (p.load(ResourcePath(name, type), format)) target = p;
}

}  // namespace

void InitResources() { InitCompiledResources(); }

void LoadBitmapResource(QPixmap& bitmap, const std::string& name, const std::string& type) {
    LoadPicture(bitmap, name, type, "BMP");
}

void LoadJpegResource(QPixmap& graphic, const std::string& name, const std::string& type) {
    LoadPicture(graphic, name, type, "JPEG");
}

std::vector<std::string> LoadTextResource(const std::string& name) {
    QFile f(ResourcePath(name, "txt"));
    if (!f.open(QIODevice::ReadOnly)) return {};
    const QByteArray bytes = f.readAll();
    return SplitLines(std::string_view(bytes.constData(), static_cast<size_t>(bytes.size())));
}

QString LoadScriptResource(const std::string& name) {
    // Registering the compiled-in resources again changes nothing.
    InitResources();
    QFile f(ResourcePath(name, "js"));
    return f.open(QIODevice::ReadOnly) ? QString::fromUtf8(f.readAll()) : QString();
}

void ShowFormAnimated(QWidget* window) {
    window->setWindowOpacity(0.0);
    window->show();
    window->raise();
    window->activateWindow();
    auto* fade = new QPropertyAnimation(window, "windowOpacity", window);
    fade->setDuration(500);
    fade->setStartValue(0.0);
    fade->setEndValue(1.0);
    fade->start(QAbstractAnimation::DeleteWhenStopped);
}

}  // namespace nuv
