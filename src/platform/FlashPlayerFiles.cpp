#include "platform/FlashPlayerFiles.h"

#include <cstdlib>
#include <filesystem>
#include <system_error>

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>

#include "platform/PageScripts.h"
#include "platform/QtText.h"

// The player's files: where they are and the script that loads them. Apart from the
// scheme handler, so that what only asks about the player needs no engine.
namespace nuv {
namespace {

const QString kPublicPath = QStringLiteral("nuvplayer:/ruffle/");

bool HasPlayer(const QString& folder) { return QFileInfo(folder + QStringLiteral("/ruffle.js")).isFile(); }

QString ProgramFolder() {
    if (QCoreApplication::instance() != nullptr) return QCoreApplication::applicationDirPath();
    std::error_code ec;
    const std::filesystem::path exe = std::filesystem::read_symlink("/proc/self/exe", ec);
    return ec ? QString() : FromUtf8(exe.parent_path().string());
}

// The user's choice through NUV_FLASH_PLAYER: off, a folder, or unset.
QString Choice() {
    const char* v = std::getenv("NUV_FLASH_PLAYER");
    return v == nullptr ? QString() : FromUtf8(v).trimmed();
}

bool TurnedOff(const QString& choice) {
    const QString c = choice.toLower();
    return c == QLatin1String("off") || c == QLatin1String("0") || c == QLatin1String("no") ||
           c == QLatin1String("false");
}

QString ReadText(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? QString::fromUtf8(f.readAll()) : QString();
}

}  // namespace

QString FlashPlayerFolder() {
    const QString choice = Choice();
    if (TurnedOff(choice)) return {};
    if (!choice.isEmpty()) return HasPlayer(choice) ? QDir(choice).absolutePath() : QString();
    const QString program = ProgramFolder();
    for (const QString& folder : {program + QStringLiteral("/ruffle"),
                                  program + QStringLiteral("/../share/nuv-webextract/ruffle"),
                                  QStringLiteral(NUV_FLASH_PLAYER_BUILD_DIR)}) {
        if (HasPlayer(folder)) return QDir(folder).absolutePath();
    }
    return {};
}

QString FlashPlayerVersion() {
    const QString folder = FlashPlayerFolder();
    if (folder.isEmpty()) return {};
    const QJsonDocument doc = QJsonDocument::fromJson(ReadText(folder + QStringLiteral("/package.json")).toUtf8());
    const QString version = doc.object().value(QStringLiteral("version")).toString();
    return version.isEmpty() ? QStringLiteral("unknown version") : version;
}

std::string FlashPlayerStatus() {
    if (TurnedOff(Choice())) return "Flash playback: off (NUV_FLASH_PLAYER=" + ToUtf8(Choice()) + ")\n";
    const QString folder = FlashPlayerFolder();
    if (folder.isEmpty())
        return "Flash playback: not available, the player (Ruffle) was not found; movies are still extracted\n";
    return "Flash playback: Ruffle " + ToUtf8(FlashPlayerVersion()) + " (" + ToUtf8(folder) + ")\n";
}

QString FlashPlayerScript() {
    static const QString script = [] {
        const QString folder = FlashPlayerFolder();
        if (folder.isEmpty()) return QString();
        const QString playerJs = ReadText(folder + QStringLiteral("/ruffle.js"));
        if (playerJs.isEmpty()) return QString();
        // The programs run the engine without the GPU unless the user chose otherwise.
        const bool gpu =
            !qEnvironmentVariable("QTWEBENGINE_CHROMIUM_FLAGS").contains(QLatin1String("--disable-gpu")) &&
            !QCoreApplication::arguments().contains(QLatin1String("--disable-gpu"));
        return scripts::FlashPlayerLoader(playerJs, kPublicPath, gpu);
    }();
    return script;
}

}  // namespace nuv
