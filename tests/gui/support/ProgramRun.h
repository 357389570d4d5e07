#pragma once

#include <string>
#include <vector>

#include <QByteArray>
#include <QJsonArray>
#include <QProcessEnvironment>
#include <QString>
#include <QStringList>

// Programs of the build (nuv-extract) started by a test as a script starts them.
namespace nuv::test {

// What a program did: whether it ended within two minutes (it is killed otherwise), its
// exit status (-1 when it crashed or was killed) and its two output streams.
struct ProgramRun {
    bool ended = false;
    int exitCode = -1;
    QByteArray out;
    QByteArray err;
    // The lines of `out`, without the empty one after its last line feed.
    QStringList lines() const;
};

// The test's environment as a script has it: no display and no platform chosen.
QProcessEnvironment ScriptEnvironment();

// Runs `program` with `args` in `env`, in `workingDir` ("" for the test's own), and keeps
// the test's event loop going meanwhile, so servers of the test answer it.
ProgramRun RunProgram(const QString& program, const QStringList& args, const QProcessEnvironment& env,
                      const QString& workingDir = QString());

// The strings of a JSON array a program printed, and a list of the program's own as Qt text.
QStringList Strings(const QJsonArray& array);
QStringList Strings(const std::vector<std::string>& list);

}  // namespace nuv::test
