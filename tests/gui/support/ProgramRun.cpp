#include "support/ProgramRun.h"

#include <QEventLoop>
#include <QJsonValue>
#include <QProcess>
#include <QTimer>

namespace nuv::test {

QStringList ProgramRun::lines() const {
    QStringList l = QString::fromUtf8(out).split(QLatin1Char('\n'));
    if (!l.isEmpty() && l.last().isEmpty()) l.removeLast();
    return l;
}

QStringList Strings(const QJsonArray& array) {
    QStringList l;
    for (const QJsonValue& v : array) l << v.toString();
    return l;
}

QStringList Strings(const std::vector<std::string>& list) {
    QStringList l;
    for (const std::string& s : list) l << QString::fromStdString(s);
    return l;
}

QProcessEnvironment ScriptEnvironment() {
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const char* name : {"QT_QPA_PLATFORM", "DISPLAY", "WAYLAND_DISPLAY"}) env.remove(QString::fromLatin1(name));
    return env;
}

ProgramRun RunProgram(const QString& program, const QStringList& args, const QProcessEnvironment& env,
                      const QString& workingDir) {
    QProcess p;
    p.setProcessEnvironment(env);
    if (!workingDir.isEmpty()) p.setWorkingDirectory(workingDir);
    QEventLoop loop;
    QObject::connect(&p, &QProcess::finished, &loop, &QEventLoop::quit);
    QObject::connect(&p, &QProcess::errorOccurred, &loop, &QEventLoop::quit);
    QTimer::singleShot(120000, &loop, &QEventLoop::quit);
    p.start(program, args);
    loop.exec();
    ProgramRun r;
    if (p.state() != QProcess::NotRunning) {
        p.kill();
        p.waitForFinished();
        return r;
    }
    r.ended = true;
    r.exitCode = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
    r.out = p.readAllStandardOutput();
    r.err = p.readAllStandardError();
    return r;
}

}  // namespace nuv::test
