// The lorventa program's command line: --help and --version answer and exit 0
// without touching the window system; misuse is refused without one too.
#include <gtest/gtest.h>

#include <signal.h>

#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QProcessEnvironment>
#include <QTemporaryDir>

#include "support/pump.h"

namespace {

struct Outcome {
  int status = -1;
  QString out;
  QString err;
};

// Runs the program with no display to reach: a program that tried to open a
// window would fail instead of exiting 0.
QProcessEnvironment NoDisplay(const QString& platform) {
  QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
  env.remove(QStringLiteral("DISPLAY"));
  env.remove(QStringLiteral("WAYLAND_DISPLAY"));
  env.remove(QStringLiteral("QT_QPA_PLATFORM"));
  if (!platform.isEmpty()) env.insert(QStringLiteral("QT_QPA_PLATFORM"), platform);
  return env;
}

Outcome RunProgram(const QStringList& args, const QString& platform = QStringLiteral("xcb")) {
  QProcess p;
  QProcessEnvironment env = NoDisplay(platform);
  env.insert(QStringLiteral("XDG_CONFIG_HOME"), QStringLiteral("/tmp/lorventa-cli-config"));
  p.setProcessEnvironment(env);
  p.start(QStringLiteral(LORVENTA_BINARY), args);
  if (!p.waitForFinished(30000)) return {};
  return {p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1, QString::fromUtf8(p.readAllStandardOutput()),
          QString::fromUtf8(p.readAllStandardError())};
}

TEST(AppCommandLine, HelpAndVersionAnswerWithoutAWindow) {
  for (const QString& flag : {QStringLiteral("--help"), QStringLiteral("-h")}) {
    const Outcome help = RunProgram({flag});
    EXPECT_EQ(help.status, 0) << help.err.toStdString();
    EXPECT_TRUE(help.out.startsWith(QStringLiteral("Usage: lorventa"))) << help.out.toStdString();
    EXPECT_TRUE(help.out.contains(QStringLiteral("/tmp/lorventa-cli-config/lorventa/sites.db")))
        << "the store folder follows XDG_CONFIG_HOME";
  }
  const Outcome version = RunProgram({QStringLiteral("--version")});
  EXPECT_EQ(version.status, 0) << version.err.toStdString();
  EXPECT_EQ(version.out, QStringLiteral("lorventa " LORVENTA_VERSION "\n"));
}

TEST(AppCommandLine, MisuseIsRefusedWithoutAWindowSystem) {
  const struct {
    QStringList args;
    const char* message;
  } cases[] = {
      {{"--bogus"}, "unknown option '--bogus'"},
      {{"-platform", "offscreen", "--bogus"}, "unknown option '--bogus'"},
      {{"--demo"}, "--demo needs a port"},
      {{"--demo", "0"}, "--demo needs a port"},
      {{"--ddns", "host:0"}, "bad DDNS port"},
      {{"-style"}, "-style needs a value"},
  };
  for (const auto& c : cases) {
    for (const QString& platform : {QString(), QStringLiteral("offscreen")}) {  // none at all, then one that works
      const Outcome o = RunProgram(c.args, platform);
      EXPECT_EQ(o.status, 2) << c.message << " " << o.err.toStdString();
      EXPECT_TRUE(o.err.contains(QString::fromUtf8(c.message))) << o.err.toStdString();
      EXPECT_TRUE(o.out.isEmpty());
    }
  }
}

// The demo's store holds its password: a SIGINT or SIGTERM must not leave it.
TEST(AppCommandLine, TheDemoRemovesItsStoreWhenEndedBySignal) {
  QProcess sim;  // a process of its own: no threads here when the program is started
  sim.start(QStringLiteral(LORVENTA_DVRSIM), {QStringLiteral("--port"), QStringLiteral("0")});
  ASSERT_TRUE(sim.waitForReadyRead(20000));
  const QString port = QString::fromUtf8(sim.readLine()).section(u':', 2).section(u' ', 0, 0);  // "...:PORT (..."
  for (const int sig : {SIGTERM, SIGINT}) {
    QTemporaryDir tmp;
    QProcess p;
    QProcessEnvironment env = NoDisplay(QStringLiteral("offscreen"));
    env.insert(QStringLiteral("TMPDIR"), tmp.path());
    p.setProcessEnvironment(env);
    p.start(QStringLiteral(LORVENTA_BINARY), {QStringLiteral("--demo"), port});
    const auto stores = [&] { return QDir(tmp.path()).entryList({QStringLiteral("lorventa-demo-*")}, QDir::Dirs); };
    ASSERT_TRUE(lvtest::PumpUntil(
        [&] { return stores().size() == 1 && QFileInfo::exists(tmp.filePath(stores()[0] + "/sites.db")); }, 20000))
        << "the demo stored its site";
    ::kill(static_cast<pid_t>(p.processId()), sig);
    ASSERT_TRUE(p.waitForFinished(20000));
    EXPECT_EQ(p.exitStatus(), QProcess::CrashExit) << "ended by the signal, as before";
    EXPECT_TRUE(stores().isEmpty()) << sig;
  }
  sim.terminate();
  sim.waitForFinished(20000);
}

}  // namespace
